// The shared hot-key manager: its 29 shortcuts, their key values and the repeat while held.
#include "mac/MacHotKeyManager.h"

#include "hotkey/HKHotKeyCenter.h"
#include "platform/Log.h"
#include "platform/Platform.h"

#include <array>
#include <chrono>

using uvccam::platform::KeyEvent;
using uvccam::platform::Platform;
namespace ModifierFlag = uvccam::platform::ModifierFlag;

namespace {

// Qt's key values, which the host receives.
constexpr std::int32_t kKeyControl = 0x01000021;
constexpr std::int32_t kKeyAlt = 0x01000023;
constexpr std::int32_t kKeyLeft = 0x01000012;
constexpr std::int32_t kKeyUp = 0x01000013;
constexpr std::int32_t kKeyRight = 0x01000014;
constexpr std::int32_t kKeyDown = 0x01000015;
constexpr std::int32_t kKeyPlus = 43;
constexpr std::int32_t kKeyMinus = 45;
constexpr std::int32_t kKey0 = 48;
constexpr std::int32_t kKeyL = 76;

// The host's shortcuts map Command to its Control key and Option to its Alt key.
constexpr std::uint64_t kCommand = ModifierFlag::Command;
constexpr std::uint64_t kOption = ModifierFlag::Option;

enum class Report { Once, WhileHeld };

struct Shortcut {
    std::uint16_t keyCode;  // virtual key code: a key's position, whatever the layout
    std::uint64_t modifierFlags;
    std::int32_t modifierKey;
    std::int32_t key;
    Report report;
};

// In registration order. The keypad digits and the main keyboard's = and - give the same
// keys as their counterparts, so the host need not tell them apart.
constexpr std::array<Shortcut, 29> kShortcuts{{
    {123, kCommand, kKeyControl, kKeyLeft, Report::WhileHeld},
    {124, kCommand, kKeyControl, kKeyRight, Report::WhileHeld},
    {125, kCommand, kKeyControl, kKeyDown, Report::WhileHeld},
    {126, kCommand, kKeyControl, kKeyUp, Report::WhileHeld},
    {37, kCommand, kKeyControl, kKeyL, Report::Once},
    {69, kCommand, kKeyControl, kKeyPlus, Report::WhileHeld},   // keypad +
    {78, kCommand, kKeyControl, kKeyMinus, Report::WhileHeld},  // keypad -
    {29, kOption, kKeyAlt, kKey0 + 0, Report::Once},
    {18, kOption, kKeyAlt, kKey0 + 1, Report::Once},
    {19, kOption, kKeyAlt, kKey0 + 2, Report::Once},
    {20, kOption, kKeyAlt, kKey0 + 3, Report::Once},
    {21, kOption, kKeyAlt, kKey0 + 4, Report::Once},
    {23, kOption, kKeyAlt, kKey0 + 5, Report::Once},
    {22, kOption, kKeyAlt, kKey0 + 6, Report::Once},
    {26, kOption, kKeyAlt, kKey0 + 7, Report::Once},
    {28, kOption, kKeyAlt, kKey0 + 8, Report::Once},
    {25, kOption, kKeyAlt, kKey0 + 9, Report::Once},
    {24, kCommand, kKeyControl, kKeyPlus, Report::WhileHeld},   // the = key
    {27, kCommand, kKeyControl, kKeyMinus, Report::WhileHeld},  // the - key
    {82, kOption, kKeyAlt, kKey0 + 0, Report::Once},            // keypad digits
    {83, kOption, kKeyAlt, kKey0 + 1, Report::Once},
    {84, kOption, kKeyAlt, kKey0 + 2, Report::Once},
    {85, kOption, kKeyAlt, kKey0 + 3, Report::Once},
    {86, kOption, kKeyAlt, kKey0 + 4, Report::Once},
    {87, kOption, kKeyAlt, kKey0 + 5, Report::Once},
    {88, kOption, kKeyAlt, kKey0 + 6, Report::Once},
    {89, kOption, kKeyAlt, kKey0 + 7, Report::Once},
    {91, kOption, kKeyAlt, kKey0 + 8, Report::Once},
    {92, kOption, kKeyAlt, kKey0 + 9, Report::Once},
}};

constexpr auto kRepeatInterval = std::chrono::milliseconds(100);
constexpr const char* kAction = "hotkeyWithEvent";

// Lives for the rest of the process and is never destroyed at exit; the static pointer
// keeps it reachable.
MacHotKeyManager*& sharedManager()
{
    static MacHotKeyManager* manager = nullptr;
    return manager;
}

}  // namespace

MacHotKeyManager* MacHotKeyManager::sharedInstance()
{
    if (!sharedManager()) {
        sharedManager() = new MacHotKeyManager();
        sharedManager()->privateInit();
    }
    return sharedManager();
}

void MacHotKeyManager::discardSharedInstance()
{
    delete sharedManager();
    sharedManager() = nullptr;
}

MacHotKeyManager::MacHotKeyManager() = default;

MacHotKeyManager::~MacHotKeyManager()
{
    // The timer's task refers to this manager.
    stopKeyTimer();
}

void MacHotKeyManager::privateInit()
{
    hkCenter_ = HKHotKeyCenter::sharedHotKeyCenter();
    ctrKey_ = 0;
    funKey_ = 0;
    hotKeyCallbackFun_ = nullptr;
    keyTimer_.reset();
}

void MacHotKeyManager::hotKeyRegister(bool registering)
{
    if (!hkCenter_)
        return;
    if (!registering) {
        // With the combinations gone no release can arrive, so a held key's repetition
        // ends here or never.
        stopKeyTimer();
        for (const auto& shortcut : kShortcuts)
            hkCenter_->unregisterHotKeyWithKeyCode(shortcut.keyCode, shortcut.modifierFlags);
        return;
    }
    for (const auto& shortcut : kShortcuts) {
        if (!hkCenter_->registerHotKeyWithKeyCode(shortcut.keyCode, shortcut.modifierFlags, this, kAction,
                                                  QVariant())) {
            uvccam::platform::logSystem("Unable to register hotkey");
            return;
        }
    }
    uvccam::platform::logSystem("Registered hotkey!");
}

void MacHotKeyManager::hotkeyWithEvent(const KeyEvent& event, const QVariant&)
{
    uvccam::platform::logSystem("%@", event.description());
    if (!event.isARepeat) {
        // Any release ends the repetition: there is one timer, whichever key started it.
        stopKeyTimer();
        return;
    }

    ctrKey_ = 0;
    funKey_ = 0;
    for (const auto& shortcut : kShortcuts) {
        if (shortcut.keyCode != event.keyCode)
            continue;
        if (shortcut.report == Report::WhileHeld) {
            ctrKey_ = shortcut.modifierKey;
            funKey_ = shortcut.key;
        } else {
            report(shortcut.modifierKey);
            report(shortcut.key);
        }
        break;
    }

    stopKeyTimer();
    // The first pair of a repeating shortcut comes with the press itself.
    timerFire();
    // Made for every press, so that the ticks of a shortcut that does not repeat find
    // nothing to report rather than the previous shortcut's pair.
    keyTimer_ = Platform::current().runLoop().scheduleRepeating(kRepeatInterval, [this] { timerFire(keyTimer_); });
}

void MacHotKeyManager::timerFire(std::optional<uvccam::platform::RunLoop::TimerId>)
{
    if (ctrKey_ != 0 && funKey_ != 0) {
        report(ctrKey_);
        report(funKey_);
    }
}

void MacHotKeyManager::report(std::int32_t key) const
{
    if (hotKeyCallbackFun_)
        hotKeyCallbackFun_(key);
}

void MacHotKeyManager::stopKeyTimer()
{
    if (!keyTimer_)
        return;
    const auto timer = *keyTimer_;
    keyTimer_.reset();
    Platform::current().runLoop().cancel(timer);
}
