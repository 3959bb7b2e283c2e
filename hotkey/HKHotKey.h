// One key combination and what it invokes when its global hot key is pressed or released.
#pragma once

#include "KeyEvent.h"
#include "UVCCamExport.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// Hot keys are shared: the registry's set holds the registered ones, and whoever made a
// hot key may hold it too. Make them with hotKeyWithKeyCode() or std::make_shared.
class UVCCAM_EXPORT HKHotKey {
public:
    using Task = std::function<void(const uvccam::platform::KeyEvent&)>;
    // The platform's handle of one registration; 0 is never a valid one.
    using Registration = std::uint64_t;

    // An unregistered hot key that runs `task` when invoked.
    static std::shared_ptr<HKHotKey> hotKeyWithKeyCode(std::uint16_t keyCode, std::uint64_t modifierFlags, Task task);

    HKHotKey() = default;
    // Cancels the hot key's own platform registration, if it still holds one. A registered
    // hot key equal to it stays registered.
    ~HKHotKey();

    HKHotKey(const HKHotKey&) = delete;
    HKHotKey& operator=(const HKHotKey&) = delete;

    std::uint16_t keyCode() const { return keyCode_; }
    // 0 until the first successful registration; kept after unregistration.
    std::uint32_t hotKeyID() const { return hotKeyID_; }
    // The receiver of action(); not owned, and forgotten when it is destroyed.
    QObject* target() const { return target_.data(); }
    // Name of the target's invokable method, called with (uvccam::platform::KeyEvent,
    // QVariant object); empty for none.
    const QByteArray& action() const { return action_; }
    const QVariant& object() const { return object_; }
    const Task& task() const { return task_; }
    std::uint64_t modifierFlags() const { return modifierFlags_; }
    // Present while the hot key is registered with the platform.
    std::optional<Registration> hotKeyRef() const { return hotKeyRef_; }

    void _setKeyCode(std::uint16_t keyCode) { keyCode_ = keyCode; }
    void _setModifierFlags(std::uint64_t modifierFlags) { modifierFlags_ = modifierFlags; }
    void _setTarget(QObject* target) { target_ = target; }
    void _setAction(const QByteArray& action) { action_ = action; }
    void _setObject(const QVariant& object) { object_ = object; }
    void _setTask(Task task) { task_ = std::move(task); }
    void setHotKeyRef(std::optional<Registration> hotKeyRef) { hotKeyRef_ = hotKeyRef; }
    void setHotKeyID(std::uint32_t hotKeyID) { hotKeyID_ = hotKeyID; }

    // Equal when key code and modifier flags are equal; what they invoke plays no part.
    bool isEqual(const HKHotKey& other) const;
    std::size_t hash() const;

    // The object, its key code, flag names and what it invokes, for diagnostics.
    QString description() const;

    // Calls the target's action when the target has it, else the task, else nothing. The
    // target has the action when its meta-object declares an invokable method of that name
    // taking (uvccam::platform::KeyEvent, QVariant), by value or by const reference.
    void invokeWithEvent(const uvccam::platform::KeyEvent& event) const;

private:
    std::uint16_t keyCode_ = 0;
    std::uint32_t hotKeyID_ = 0;
    QPointer<QObject> target_;
    QByteArray action_;
    QVariant object_;
    Task task_;
    std::uint64_t modifierFlags_ = 0;
    std::optional<Registration> hotKeyRef_;
};
