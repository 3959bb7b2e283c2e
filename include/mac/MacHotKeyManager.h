// The global hot keys the library offers, switched on and off as one set.
#pragma once

#include "UVCCamCallbacks.h"
#include "KeyEvent.h"
#include "platform/RunLoop.h"

#include <QObject>
#include <QVariant>

#include <cstdint>
#include <optional>

class HKHotKeyCenter;

// Command with the arrow keys, plus, minus and L, and Option with the digits (main keyboard
// and keypad): 29 system-wide combinations. Each press reports a Qt modifier key value and
// then a Qt key value through the hot-key callback; the arrow, plus and minus shortcuts
// repeat their pair every 0.1 s while held, the others report once per press.
class MacHotKeyManager : public QObject {
    Q_OBJECT

public:
    // The process's manager, made on first use.
    static MacHotKeyManager* sharedInstance();
    // Forgets the shared instance and stops its repeat timer, for a process that switches
    // platforms (tests do).
    static void discardSharedInstance();

    ~MacHotKeyManager() override;

    MacHotKeyManager(const MacHotKeyManager&) = delete;
    MacHotKeyManager& operator=(const MacHotKeyManager&) = delete;

    // The pair that repeats while the current shortcut is held; 0 when it does not repeat.
    std::int32_t ctrKey() const { return ctrKey_; }
    std::int32_t funKey() const { return funKey_; }

    // Receives the Qt key value of each reported key press; not owned.
    HotKeyCallback hotKeyCallbackFun() const { return hotKeyCallbackFun_; }
    void setHotKeyCallbackFun(HotKeyCallback callback) { hotKeyCallbackFun_ = callback; }

    // The shared hot-key registry, taken at creation.
    HKHotKeyCenter* hkCenter() const { return hkCenter_; }
    void setHkCenter(HKHotKeyCenter* center) { hkCenter_ = center; }
    // The repeat timer of the last press, while it runs.
    std::optional<uvccam::platform::RunLoop::TimerId> keyTimer() const { return keyTimer_; }
    void setKeyTimer(std::optional<uvccam::platform::RunLoop::TimerId> timer) { keyTimer_ = timer; }

    // True registers the 29 combinations, in a fixed order, stopping at the first the
    // registry refuses ("Registered hotkey!" / "Unable to register hotkey" on the system
    // log; those registered before a refusal stay). False unregisters all 29.
    void hotKeyRegister(bool registering);

    // The action of every combination: a press reports its keys and starts the repeat
    // timer, a release stops it. `object` is not used.
    Q_INVOKABLE void hotkeyWithEvent(const uvccam::platform::KeyEvent& event, const QVariant& object);

    // Reports the repeating pair, if the current shortcut has one. `timer` is not used.
    void timerFire(std::optional<uvccam::platform::RunLoop::TimerId> timer = std::nullopt);

private:
    MacHotKeyManager();
    void privateInit();
    void report(std::int32_t key) const;
    void stopKeyTimer();

    std::int32_t ctrKey_ = 0;
    std::int32_t funKey_ = 0;
    HotKeyCallback hotKeyCallbackFun_ = nullptr;
    HKHotKeyCenter* hkCenter_ = nullptr;
    std::optional<uvccam::platform::RunLoop::TimerId> keyTimer_;
};
