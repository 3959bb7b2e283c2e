// One key combination and what it invokes when its global hot key is pressed or released.
#include "hotkey/HKHotKey.h"

#include "hotkey/HKHotKeyCenter.h"
#include "platform/HotKeyService.h"
#include "platform/Log.h"

#include <QMetaMethod>
#include <QMetaObject>
#include <QStringList>

#include <array>
#include <type_traits>
#include <utility>

using uvccam::platform::KeyEvent;
namespace ModifierFlag = uvccam::platform::ModifierFlag;

// A host sees the registration handle without the platform's header; the two must agree.
static_assert(std::is_same_v<HKHotKey::Registration, uvccam::platform::HotKeyRegistration>);

namespace {

// The argument list every action is declared with.
constexpr const char* kActionArguments = "(uvccam::platform::KeyEvent,QVariant)";

struct FlagName {
    std::uint64_t flag;
    const char* name;
};

// In the order diagnostics have always listed them.
constexpr std::array<FlagName, 4> kFlagNames{{
    {ModifierFlag::Control, "NSControlKeyMask"},
    {ModifierFlag::Command, "NSCommandKeyMask"},
    {ModifierFlag::Shift, "NSShiftKeyMask"},
    {ModifierFlag::Option, "NSAlternateKeyMask"},
}};

QString address(const void* object)
{
    return QStringLiteral("0x") + QString::number(reinterpret_cast<quintptr>(object), 16);
}

// An object's default description: its class and where it lives.
QString defaultDescription(const char* className, const void* object)
{
    return QStringLiteral("<%1: %2>").arg(QLatin1String(className), address(object));
}

int actionMethodIndex(const QObject* target, const QByteArray& action)
{
    if (!target || action.isEmpty())
        return -1;
    const QByteArray signature = QMetaObject::normalizedSignature(action + kActionArguments);
    return target->metaObject()->indexOfMethod(signature.constData());
}

}  // namespace

std::shared_ptr<HKHotKey> HKHotKey::hotKeyWithKeyCode(std::uint16_t keyCode, std::uint64_t modifierFlags, Task task)
{
    auto hotKey = std::make_shared<HKHotKey>();
    hotKey->_setKeyCode(keyCode);
    hotKey->_setModifierFlags(modifierFlags);
    hotKey->_setTask(std::move(task));
    return hotKey;
}

HKHotKey::~HKHotKey()
{
    // Only the hot key's own registration: an equal hot key that is registered belongs to
    // someone else, and dropping a copy of a combination must not silence it.
    if (hotKeyRef_ && HKHotKeyCenter::existingCenter())
        HKHotKeyCenter::cancelRegistration(*this);
}

bool HKHotKey::isEqual(const HKHotKey& other) const
{
    return keyCode_ == other.keyCode_ && modifierFlags_ == other.modifierFlags_;
}

std::size_t HKHotKey::hash() const
{
    return static_cast<std::size_t>(modifierFlags_ ^ keyCode_);
}

QString HKHotKey::description() const
{
    QStringList names;
    for (const auto& entry : kFlagNames) {
        if (modifierFlags_ & entry.flag)
            names << QLatin1String(entry.name);
    }
    // Concatenated, not formatted: with no flag set the names join to a null string, which
    // "%@" would print as "(null)".
    const QString flags = QLatin1Char('(') + names.join(QStringLiteral(" | ")) + QLatin1Char(')');

    QString invokes = QStringLiteral("(block)");
    if (QObject* receiver = target_.data(); receiver && !action_.isEmpty()) {
        invokes = uvccam::platform::formatMessage(
            "[%@ %@]", {defaultDescription(receiver->metaObject()->className(), receiver), QString::fromUtf8(action_)});
    }

    return uvccam::platform::formatMessage("%@\n\t(key: %hu\n\tflags: %@\n\tinvokes: %@)",
                                           {defaultDescription("HKHotKey", this), unsigned(keyCode_), flags, invokes});
}

void HKHotKey::invokeWithEvent(const KeyEvent& event) const
{
    if (QObject* receiver = target_.data()) {
        const int index = actionMethodIndex(receiver, action_);
        if (index >= 0) {
            receiver->metaObject()->method(index).invoke(receiver, Qt::DirectConnection,
                                                         Q_ARG(uvccam::platform::KeyEvent, event),
                                                         Q_ARG(QVariant, object_));
            return;
        }
    }
    if (task_)
        task_(event);
}
