// The diagnostic text of a key event.
#include "KeyEvent.h"

namespace uvccam::platform {

namespace {

const char* typeName(KeyEventType type)
{
    switch (type) {
    case KeyEventType::KeyDown:
        return "KeyDown";
    case KeyEventType::KeyUp:
        return "KeyUp";
    case KeyEventType::FlagsChanged:
        return "FlagsChanged";
    }
    return "Unknown";
}

}  // namespace

QString KeyEvent::description() const
{
    return QStringLiteral("KeyEvent: type=%1 loc=(%2,%3) time=%4 flags=0x%5 winNum=%6 chars=\"%7\" unmodchars=\"%8\" "
                          "repeat=%9 keyCode=%10")
        .arg(QLatin1String(typeName(type)))
        .arg(locationInWindow.x())
        .arg(locationInWindow.y())
        .arg(timestamp, 0, 'f', 3)
        .arg(modifierFlags, 0, 16)
        .arg(windowNumber)
        .arg(characters, charactersIgnoringModifiers)
        .arg(isARepeat ? 1 : 0)
        .arg(keyCode);
}

}  // namespace uvccam::platform
