// System-wide hot keys on the simulator: registrations, refusals, and key presses as events.
#pragma once

#include "platform/HotKeyService.h"
#include "platform/RunLoop.h"

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace uvccam::platform {

// Behaves as the window system's hot-key service does for one application: a combination
// (key code and event-manager modifiers) can be registered once; a second registration of
// it, and one that another application holds, is refused with kHotKeyExists. Pressing or
// releasing a registered combination posts an event with that registration's identifier;
// the event reaches every installed handler of its kind through the run loop, never from
// inside the call that caused it.
//
// Every request is recorded, refused ones included, so that tests can assert exactly what
// the platform was asked and in which order.
class HotKeyServiceSim : public HotKeyService {
public:
    struct Request {
        enum class Kind { Register, Unregister };
        Kind kind = Kind::Register;
        // For an unregistration, those of the registration the handle named (zero when
        // the handle was unknown).
        std::uint16_t keyCode = 0;
        std::uint32_t modifiers = 0;
        HotKeyIdentifier identifier;
        HotKeyRegistration registration = 0;  // 0 for a refused registration
        HotKeyStatus status = kHotKeySuccess;
    };

    struct Registration {
        std::uint16_t keyCode = 0;
        std::uint32_t modifiers = 0;
        HotKeyIdentifier identifier;
        HotKeyRegistration handle = 0;
    };

    explicit HotKeyServiceSim(RunLoop& runLoop);

    HotKeyServiceSim(const HotKeyServiceSim&) = delete;
    HotKeyServiceSim& operator=(const HotKeyServiceSim&) = delete;

    void installEventHandler(HotKeyEventKind kind, EventHandler handler) override;
    HotKeyStatus registerEventHotKey(std::uint16_t keyCode, std::uint32_t modifiers, HotKeyIdentifier identifier,
                                     HotKeyRegistration& registration) override;
    HotKeyStatus unregisterEventHotKey(HotKeyRegistration registration) override;

    // What the platform was asked, in order.
    const std::vector<Request>& requests() const { return requests_; }
    // Only the registrations, or only the unregistrations, in order.
    std::vector<Request> requests(Request::Kind kind) const;
    void clearRequests() { requests_.clear(); }
    // The registrations in force, oldest first.
    std::vector<Registration> registrations() const;
    std::size_t handlerCount(HotKeyEventKind kind) const;

    // Refuses the next registration with `status`; each call refuses one more.
    void refuseNextRegistration(HotKeyStatus status = kHotKeyExists);
    // Another application holds the combination: registering it is refused with
    // kHotKeyExists, and pressing it reaches the other application, not us.
    void takeByAnotherApplication(std::uint16_t keyCode, std::uint32_t modifiers);

    // The user presses or releases a key with modifiers held. `modifierFlags` are the key
    // event's flags (ModifierFlag values) as the user's keyboard sets them; the service
    // matches them to registrations by their event-manager modifiers, as the window
    // system does, so bits without an event-manager equivalent (Function, NumericPad)
    // still reach the hot key and are carried in the event. Returns false, posting
    // nothing, when no registration of ours matches.
    bool press(std::uint16_t keyCode, std::uint64_t modifierFlags);
    bool release(std::uint16_t keyCode, std::uint64_t modifierFlags);
    // Presses now and releases after `hold`; the release goes to whatever registration of
    // the combination is in force then. False when no registration matches now.
    bool pressAndHold(std::uint16_t keyCode, std::uint64_t modifierFlags, Duration hold);

    // Posts an event exactly as given, whatever its identifier, through the run loop.
    void deliver(const HotKeyPlatformEvent& event);

    // The event-manager modifiers a held set of key-event modifier flags stands for.
    static std::uint32_t modifiersForFlags(std::uint64_t modifierFlags);

private:
    using Combination = std::pair<std::uint16_t, std::uint32_t>;

    bool post(HotKeyEventKind kind, std::uint16_t keyCode, std::uint64_t modifierFlags);

    RunLoop& runLoop_;
    std::vector<std::pair<HotKeyEventKind, EventHandler>> handlers_;
    std::map<HotKeyRegistration, Registration> live_;  // handles only grow: oldest first
    HotKeyRegistration nextHandle_ = 1;
    std::vector<Request> requests_;
    std::deque<HotKeyStatus> refuseNext_;
    std::set<Combination> takenByOthers_;
};

}  // namespace uvccam::platform
