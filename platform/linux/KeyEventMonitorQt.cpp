// The key event monitor as an application-wide Qt event filter.
#include "platform/linux/KeyEventMonitorQt.h"

#include "platform/linux/KeyEventTranslatorQt.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace uvccam::platform {

KeyEventMonitorQt::KeyEventMonitorQt(std::uint64_t mask, Handler handler) : mask_(mask), handler_(std::move(handler))
{
    if (QCoreApplication* application = QCoreApplication::instance())
        application->installEventFilter(this);
}

KeyEventMonitorQt::~KeyEventMonitorQt()
{
    if (QCoreApplication* application = QCoreApplication::instance())
        application->removeEventFilter(this);
}

bool KeyEventMonitorQt::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride)
        return QObject::eventFilter(watched, event);

    const auto& keyEvent = static_cast<const QKeyEvent&>(*event);
    const std::optional<KeyEvent> translated = KeyEventTranslatorQt::translate(keyEvent);
    if (!translated || !(mask_ & (std::uint64_t { 1 } << static_cast<int>(translated->type))))
        return QObject::eventFilter(watched, event);

    // Qt offers a key press to the shortcuts first. Accepting the offer keeps them from
    // taking it, and the press that follows comes here to be handled once.
    if (type == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }

    // The handler may destroy this monitor (ending an edit does); nothing of it is
    // touched once the handler has run.
    const Handler handler = handler_;
    handler(*translated);
    return true;
}

}  // namespace uvccam::platform
