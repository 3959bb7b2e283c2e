// The process's registry of global hot keys: registration with the platform and event dispatch.
#pragma once

#include "UVCCamExport.h"
#include "hotkey/HKHotKey.h"

#include <QByteArray>
#include <QObject>
#include <QVariant>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_set>

// Hot keys in a set are told apart by key code and modifier flags alone.
struct HKHotKeyHash {
    std::size_t operator()(const std::shared_ptr<HKHotKey>& hotKey) const { return hotKey ? hotKey->hash() : 0; }
};
struct HKHotKeyEqual {
    bool operator()(const std::shared_ptr<HKHotKey>& a, const std::shared_ptr<HKHotKey>& b) const
    {
        return a && b ? a->isEqual(*b) : a == b;
    }
};
using HKHotKeySet = std::unordered_set<std::shared_ptr<HKHotKey>, HKHotKeyHash, HKHotKeyEqual>;

// The event manager's modifiers for the window system's modifier flags: Command, Shift,
// caps lock, Option and Control each map by themselves; every other bit (Function,
// NumericPad ...) is dropped, so flags that differ only there name one platform combination.
UVCCAM_EXPORT std::uint32_t HKCarbonModifierFlagsFromCocoaModifiers(std::uint64_t cocoaModifiers);

// One per process, made on first use together with its two event handlers, and never
// destroyed while the process runs. Everything happens on the main thread.
//
// A registered hot key holds a platform registration and an identifier (1, 2, 3 ... in
// the order of successful registrations, never given twice by one registry). The set
// holds at most one hot key per key code and modifier flags.
class UVCCAM_EXPORT HKHotKeyCenter {
public:
    using Predicate = std::function<bool(const HKHotKey&)>;

    // The signature every registration carries ('htk1').
    static constexpr std::uint32_t kHotKeySignature = 0x68746B31;

    static HKHotKeyCenter* sharedHotKeyCenter();
    // Cancels every registration and forgets the shared registry, for a process that
    // switches platforms (tests do). Its handlers stay installed on the platform they were
    // installed on but do nothing more; a later sharedHotKeyCenter() starts again at 1.
    static void discardSharedHotKeyCenter();

    HKHotKeyCenter(const HKHotKeyCenter&) = delete;
    HKHotKeyCenter& operator=(const HKHotKeyCenter&) = delete;

    HKHotKeySet hotKeysMatching(const Predicate& predicate) const;
    bool hasRegisteredHotKeyWithKeyCode(std::uint16_t keyCode, std::uint64_t modifierFlags) const;

    // Registers the hot key and returns it. A hot key equal to a registered one is
    // returned as it is, unregistered. A refusal of the platform gives nullptr and
    // consumes no identifier.
    std::shared_ptr<HKHotKey> registerHotKey(const std::shared_ptr<HKHotKey>& hotKey);
    // Both give nullptr when the combination is registered already or is refused.
    std::shared_ptr<HKHotKey> registerHotKeyWithKeyCode(std::uint16_t keyCode, std::uint64_t modifierFlags,
                                                        HKHotKey::Task task);
    // `action` names an invokable method of `target` taking (uvccam::platform::KeyEvent,
    // QVariant); `object` is passed as its second argument.
    std::shared_ptr<HKHotKey> registerHotKeyWithKeyCode(std::uint16_t keyCode, std::uint64_t modifierFlags,
                                                        QObject* target, const QByteArray& action,
                                                        const QVariant& object);

    // Cancels the hot key's platform registration and removes the registered hot key
    // equal to it. That member's own platform registration is cancelled too, whether or
    // not it is the same object, so the platform never keeps a hot key the registry no
    // longer knows.
    void unregisterHotKey(const std::shared_ptr<HKHotKey>& hotKey);
    void unregisterHotKeysMatching(const Predicate& predicate);
    // Only the hot keys whose target is this very object; a null target names none.
    void unregisterHotKeysWithTarget(QObject* target);
    void unregisterHotKeysWithTarget(QObject* target, const QByteArray& action);
    void unregisterHotKeyWithKeyCode(std::uint16_t keyCode, std::uint64_t modifierFlags);
    void unregisterAllHotKeys();

    // The registered hot keys that hold a platform registration.
    HKHotKeySet registeredHotKeys() const;

private:
    friend class HKHotKey;

    HKHotKeyCenter() = default;
    ~HKHotKeyCenter() = default;

    // Cancels the hot key's own platform registration, if it holds one.
    static void cancelRegistration(HKHotKey& hotKey);
    // The shared registry, without making one.
    static HKHotKeyCenter* existingCenter();

    HKHotKeySet registeredHotKeys_;
    std::uint32_t nextHotKeyID_ = 1;
};
