// The process's registry of global hot keys: registration with the platform and event dispatch.
#include "hotkey/HKHotKeyCenter.h"

#include "KeyEvent.h"
#include "platform/HotKeyService.h"
#include "platform/Log.h"
#include "platform/Platform.h"

#include <array>
#include <mutex>

using uvccam::platform::HotKeyEventKind;
using uvccam::platform::HotKeyIdentifier;
using uvccam::platform::HotKeyPlatformEvent;
using uvccam::platform::HotKeyRegistration;
using uvccam::platform::HotKeyStatus;
using uvccam::platform::KeyEvent;
using uvccam::platform::KeyEventType;
using uvccam::platform::Platform;
namespace HotKeyModifier = uvccam::platform::HotKeyModifier;
namespace ModifierFlag = uvccam::platform::ModifierFlag;

namespace {

// Not destroyed at exit: registered hot keys and the installed handlers refer to it for
// the rest of the process. The static pointer keeps it reachable.
HKHotKeyCenter*& sharedCenter()
{
    static HKHotKeyCenter* center = nullptr;
    return center;
}

// Which registry the installed handlers serve. A discarded registry's handlers stay on
// their platform, and must not deliver to the registry made after it.
std::uint64_t& centerGeneration()
{
    static std::uint64_t generation = 0;
    return generation;
}

std::mutex& creationGuard()
{
    static std::mutex guard;
    return guard;
}

struct ModifierMapping {
    std::uint64_t cocoa;
    std::uint32_t carbon;
};

constexpr std::array<ModifierMapping, 5> kModifierMappings{{
    {ModifierFlag::Command, HotKeyModifier::Command},
    {ModifierFlag::Shift, HotKeyModifier::Shift},
    {ModifierFlag::CapsLock, HotKeyModifier::AlphaLock},
    {ModifierFlag::Option, HotKeyModifier::Option},
    {ModifierFlag::Control, HotKeyModifier::Control},
}};

HotKeyStatus dispatchHotKeyEvent(const HotKeyPlatformEvent& event, bool pressed)
{
    // Only the id tells hot keys apart; every registration carries the same signature.
    const std::uint32_t id = event.identifier.id;
    const HKHotKeySet matches = HKHotKeyCenter::sharedHotKeyCenter()->hotKeysMatching(
        [id](const HKHotKey& hotKey) { return hotKey.hotKeyID() == id; });
    if (matches.size() >= 2)
        uvccam::platform::logSystem("ERROR!");
    // Held here, so a receiver that unregisters it while it runs cannot destroy it mid-call.
    const std::shared_ptr<HKHotKey> hotKey = matches.empty() ? nullptr : *matches.begin();

    // Both kinds are reported as key-up events; receivers tell a press from a release by
    // the repeat flag.
    KeyEvent keyEvent;
    keyEvent.type = KeyEventType::KeyUp;
    keyEvent.locationInWindow = event.locationInWindow;
    keyEvent.modifierFlags = event.modifierFlags;
    keyEvent.timestamp = event.timestamp;
    keyEvent.windowNumber = -1;
    keyEvent.characters = QString();
    keyEvent.charactersIgnoringModifiers = QString();
    keyEvent.isARepeat = pressed;
    keyEvent.keyCode = hotKey ? hotKey->keyCode() : 0;

    if (hotKey)
        hotKey->invokeWithEvent(keyEvent);
    return uvccam::platform::kHotKeySuccess;
}

// The platform's event handlers of the registry, for pressed and released hot-key events.
// Each finds the registered hot key the event's identifier names and invokes it with a
// key-up key event whose repeat flag tells a press (set) from a release (clear). Both
// report every event as handled.
HotKeyStatus hk_hotKeyHandler(const HotKeyPlatformEvent& event)
{
    return dispatchHotKeyEvent(event, true);
}

HotKeyStatus hk_hotKeyReleaseHandler(const HotKeyPlatformEvent& event)
{
    return dispatchHotKeyEvent(event, false);
}

}  // namespace

std::uint32_t HKCarbonModifierFlagsFromCocoaModifiers(std::uint64_t cocoaModifiers)
{
    std::uint32_t carbon = 0;
    for (const auto& mapping : kModifierMappings) {
        if (cocoaModifiers & mapping.cocoa)
            carbon |= mapping.carbon;
    }
    return carbon;
}

HKHotKeyCenter* HKHotKeyCenter::sharedHotKeyCenter()
{
    const std::lock_guard<std::mutex> lock(creationGuard());
    if (sharedCenter())
        return sharedCenter();

    sharedCenter() = new HKHotKeyCenter();
    const std::uint64_t generation = ++centerGeneration();
    auto& hotKeys = Platform::current().hotKeys();
    hotKeys.installEventHandler(HotKeyEventKind::Pressed, [generation](const HotKeyPlatformEvent& event) {
        return generation == centerGeneration() ? hk_hotKeyHandler(event) : uvccam::platform::kHotKeySuccess;
    });
    hotKeys.installEventHandler(HotKeyEventKind::Released, [generation](const HotKeyPlatformEvent& event) {
        return generation == centerGeneration() ? hk_hotKeyReleaseHandler(event) : uvccam::platform::kHotKeySuccess;
    });
    return sharedCenter();
}

HKHotKeyCenter* HKHotKeyCenter::existingCenter()
{
    return sharedCenter();
}

void HKHotKeyCenter::discardSharedHotKeyCenter()
{
    HKHotKeyCenter* center = sharedCenter();
    if (!center)
        return;
    // While the platform the registrations were made on is still installed.
    center->unregisterAllHotKeys();
    sharedCenter() = nullptr;
    ++centerGeneration();
    delete center;
}

HKHotKeySet HKHotKeyCenter::hotKeysMatching(const Predicate& predicate) const
{
    HKHotKeySet matching;
    if (!predicate)
        return matching;
    for (const auto& hotKey : registeredHotKeys_) {
        if (predicate(*hotKey))
            matching.insert(hotKey);
    }
    return matching;
}

bool HKHotKeyCenter::hasRegisteredHotKeyWithKeyCode(std::uint16_t keyCode, std::uint64_t modifierFlags) const
{
    for (const auto& hotKey : registeredHotKeys_) {
        if (hotKey->keyCode() == keyCode && hotKey->modifierFlags() == modifierFlags)
            return true;
    }
    return false;
}

std::shared_ptr<HKHotKey> HKHotKeyCenter::registerHotKey(const std::shared_ptr<HKHotKey>& hotKey)
{
    if (!hotKey)
        return nullptr;
    if (registeredHotKeys_.count(hotKey) != 0)
        return hotKey;

    const std::uint32_t modifiers = HKCarbonModifierFlagsFromCocoaModifiers(hotKey->modifierFlags());
    HotKeyRegistration handle = 0;
    const HotKeyStatus status = Platform::current().hotKeys().registerEventHotKey(
        hotKey->keyCode(), modifiers, HotKeyIdentifier{kHotKeySignature, nextHotKeyID_}, handle);
    if (status != uvccam::platform::kHotKeySuccess)
        return nullptr;

    hotKey->setHotKeyRef(handle);
    hotKey->setHotKeyID(nextHotKeyID_);
    ++nextHotKeyID_;
    registeredHotKeys_.insert(hotKey);
    return hotKey;
}

std::shared_ptr<HKHotKey> HKHotKeyCenter::registerHotKeyWithKeyCode(std::uint16_t keyCode,
                                                                    std::uint64_t modifierFlags, HKHotKey::Task task)
{
    if (hasRegisteredHotKeyWithKeyCode(keyCode, modifierFlags))
        return nullptr;
    return registerHotKey(HKHotKey::hotKeyWithKeyCode(keyCode, modifierFlags, std::move(task)));
}

std::shared_ptr<HKHotKey> HKHotKeyCenter::registerHotKeyWithKeyCode(std::uint16_t keyCode,
                                                                    std::uint64_t modifierFlags, QObject* target,
                                                                    const QByteArray& action, const QVariant& object)
{
    if (hasRegisteredHotKeyWithKeyCode(keyCode, modifierFlags))
        return nullptr;
    auto hotKey = std::make_shared<HKHotKey>();
    hotKey->_setKeyCode(keyCode);
    hotKey->_setModifierFlags(modifierFlags);
    hotKey->_setTarget(target);
    hotKey->_setAction(action);
    hotKey->_setObject(object);
    return registerHotKey(hotKey);
}

void HKHotKeyCenter::cancelRegistration(HKHotKey& hotKey)
{
    const auto handle = hotKey.hotKeyRef();
    if (!handle)
        return;
    hotKey.setHotKeyRef(std::nullopt);
    Platform::current().hotKeys().unregisterEventHotKey(*handle);
}

void HKHotKeyCenter::unregisterHotKey(const std::shared_ptr<HKHotKey>& hotKey)
{
    if (!hotKey)
        return;
    cancelRegistration(*hotKey);
    const auto member = registeredHotKeys_.find(hotKey);
    if (member == registeredHotKeys_.end())
        return;
    // An equal hot key made elsewhere (a shortcut field's value, say) names the member;
    // leaving the member's registration in force would keep a hot key that no event can
    // find any more and that nothing can unregister.
    const std::shared_ptr<HKHotKey> registered = *member;
    registeredHotKeys_.erase(member);
    cancelRegistration(*registered);
}

void HKHotKeyCenter::unregisterHotKeysMatching(const Predicate& predicate)
{
    // Taken first: unregistering changes the set being searched.
    for (const auto& hotKey : hotKeysMatching(predicate))
        unregisterHotKey(hotKey);
}

void HKHotKeyCenter::unregisterHotKeysWithTarget(QObject* target)
{
    if (!target)
        return;
    unregisterHotKeysMatching([target](const HKHotKey& hotKey) { return hotKey.target() == target; });
}

void HKHotKeyCenter::unregisterHotKeysWithTarget(QObject* target, const QByteArray& action)
{
    if (!target)
        return;
    unregisterHotKeysMatching(
        [target, &action](const HKHotKey& hotKey) { return hotKey.target() == target && hotKey.action() == action; });
}

void HKHotKeyCenter::unregisterHotKeyWithKeyCode(std::uint16_t keyCode, std::uint64_t modifierFlags)
{
    unregisterHotKeysMatching([keyCode, modifierFlags](const HKHotKey& hotKey) {
        return hotKey.keyCode() == keyCode && hotKey.modifierFlags() == modifierFlags;
    });
}

void HKHotKeyCenter::unregisterAllHotKeys()
{
    const HKHotKeySet all = registeredHotKeys_;
    for (const auto& hotKey : all)
        unregisterHotKey(hotKey);
}

HKHotKeySet HKHotKeyCenter::registeredHotKeys() const
{
    return hotKeysMatching([](const HKHotKey& hotKey) { return hotKey.hotKeyRef().has_value(); });
}
