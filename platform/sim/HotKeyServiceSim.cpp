// System-wide hot keys on the simulator: registrations, refusals, and key presses as events.
#include "platform/sim/HotKeyServiceSim.h"

#include "KeyEvent.h"

#include <algorithm>
#include <array>
#include <chrono>

namespace uvccam::platform {

namespace {

// A registration's handle the service never gave, or one already cancelled.
constexpr HotKeyStatus kUnknownRegistration = -9879;

struct ModifierPair {
    std::uint64_t flag;
    std::uint32_t modifier;
};

// The held modifier keys the event manager distinguishes; every other flag bit is not a
// key the user holds in its sense.
constexpr std::array<ModifierPair, 5> kHeldModifiers{{
    {ModifierFlag::Command, HotKeyModifier::Command},
    {ModifierFlag::Shift, HotKeyModifier::Shift},
    {ModifierFlag::CapsLock, HotKeyModifier::AlphaLock},
    {ModifierFlag::Option, HotKeyModifier::Option},
    {ModifierFlag::Control, HotKeyModifier::Control},
}};

double secondsSinceStart(TimePoint t)
{
    return std::chrono::duration<double>(t).count();
}

}  // namespace

HotKeyServiceSim::HotKeyServiceSim(RunLoop& runLoop) : runLoop_(runLoop) {}

std::uint32_t HotKeyServiceSim::modifiersForFlags(std::uint64_t modifierFlags)
{
    std::uint32_t modifiers = 0;
    for (const auto& pair : kHeldModifiers) {
        if (modifierFlags & pair.flag)
            modifiers |= pair.modifier;
    }
    return modifiers;
}

void HotKeyServiceSim::installEventHandler(HotKeyEventKind kind, EventHandler handler)
{
    if (!handler)
        return;
    handlers_.emplace_back(kind, std::move(handler));
}

std::size_t HotKeyServiceSim::handlerCount(HotKeyEventKind kind) const
{
    std::size_t count = 0;
    for (const auto& entry : handlers_)
        count += entry.first == kind ? 1 : 0;
    return count;
}

HotKeyStatus HotKeyServiceSim::registerEventHotKey(std::uint16_t keyCode, std::uint32_t modifiers,
                                                   HotKeyIdentifier identifier, HotKeyRegistration& registration)
{
    Request request;
    request.kind = Request::Kind::Register;
    request.keyCode = keyCode;
    request.modifiers = modifiers;
    request.identifier = identifier;

    const Combination combination{keyCode, modifiers};
    HotKeyStatus status = kHotKeySuccess;
    if (!refuseNext_.empty()) {
        status = refuseNext_.front();
        refuseNext_.pop_front();
    } else if (takenByOthers_.count(combination) != 0) {
        status = kHotKeyExists;
    } else {
        for (const auto& [handle, live] : live_) {
            if (live.keyCode == keyCode && live.modifiers == modifiers) {
                status = kHotKeyExists;
                break;
            }
        }
    }

    if (status == kHotKeySuccess) {
        const HotKeyRegistration handle = nextHandle_++;
        live_[handle] = Registration{keyCode, modifiers, identifier, handle};
        registration = handle;
        request.registration = handle;
    }
    request.status = status;
    requests_.push_back(request);
    return status;
}

HotKeyStatus HotKeyServiceSim::unregisterEventHotKey(HotKeyRegistration registration)
{
    Request request;
    request.kind = Request::Kind::Unregister;
    request.registration = registration;
    const auto found = live_.find(registration);
    if (found == live_.end()) {
        request.status = kUnknownRegistration;
    } else {
        request.keyCode = found->second.keyCode;
        request.modifiers = found->second.modifiers;
        request.identifier = found->second.identifier;
        live_.erase(found);
    }
    requests_.push_back(request);
    return request.status;
}

std::vector<HotKeyServiceSim::Registration> HotKeyServiceSim::registrations() const
{
    std::vector<Registration> result;
    result.reserve(live_.size());
    for (const auto& entry : live_)
        result.push_back(entry.second);
    return result;
}

void HotKeyServiceSim::refuseNextRegistration(HotKeyStatus status)
{
    // A success is no refusal: it would only make the queue lie about what comes next.
    if (status != kHotKeySuccess)
        refuseNext_.push_back(status);
}

void HotKeyServiceSim::takeByAnotherApplication(std::uint16_t keyCode, std::uint32_t modifiers)
{
    takenByOthers_.insert({keyCode, modifiers});
}

bool HotKeyServiceSim::press(std::uint16_t keyCode, std::uint64_t modifierFlags)
{
    return post(HotKeyEventKind::Pressed, keyCode, modifierFlags);
}

bool HotKeyServiceSim::release(std::uint16_t keyCode, std::uint64_t modifierFlags)
{
    return post(HotKeyEventKind::Released, keyCode, modifierFlags);
}

bool HotKeyServiceSim::pressAndHold(std::uint16_t keyCode, std::uint64_t modifierFlags, Duration hold)
{
    if (!press(keyCode, modifierFlags))
        return false;
    // The run loop drops this task if the service goes first: both belong to one platform
    // and the loop is destroyed after the service.
    runLoop_.dispatchAfter(std::max(hold, Duration::zero()),
                           [this, keyCode, modifierFlags] { release(keyCode, modifierFlags); });
    return true;
}

bool HotKeyServiceSim::post(HotKeyEventKind kind, std::uint16_t keyCode, std::uint64_t modifierFlags)
{
    const std::uint32_t modifiers = modifiersForFlags(modifierFlags);
    if (takenByOthers_.count({keyCode, modifiers}) != 0)
        return false;
    for (const auto& [handle, live] : live_) {
        if (live.keyCode != keyCode || live.modifiers != modifiers)
            continue;
        HotKeyPlatformEvent event;
        event.kind = kind;
        event.identifier = live.identifier;
        event.modifierFlags = modifierFlags;
        event.timestamp = secondsSinceStart(runLoop_.now());
        deliver(event);
        return true;
    }
    return false;
}

void HotKeyServiceSim::deliver(const HotKeyPlatformEvent& event)
{
    runLoop_.dispatchAfter(Duration::zero(), [this, event] {
        // A handler may install another one; this event goes to those installed when it
        // is dispatched.
        const auto handlers = handlers_;
        for (const auto& [kind, handler] : handlers) {
            if (kind == event.kind)
                handler(event);
        }
    });
}

std::vector<HotKeyServiceSim::Request> HotKeyServiceSim::requests(Request::Kind kind) const
{
    std::vector<Request> found;
    for (const auto& request : requests_) {
        if (request.kind == kind)
            found.push_back(request);
    }
    return found;
}

}  // namespace uvccam::platform
