// System-wide hot keys: registration with the window system and their pressed and released
// events, delivered on the main run loop.
#pragma once

#include <QPointF>

#include <cstdint>
#include <functional>

namespace uvccam::platform {

// Status of a hot-key operation: 0 for success, otherwise the platform's error code.
using HotKeyStatus = std::int32_t;
constexpr HotKeyStatus kHotKeySuccess = 0;
// The combination is already taken, by this process or another one.
constexpr HotKeyStatus kHotKeyExists = -9878;

// Modifiers in the event manager's numbering, as registration takes them.
namespace HotKeyModifier {
constexpr std::uint32_t Command = 0x100;
constexpr std::uint32_t Shift = 0x200;
constexpr std::uint32_t AlphaLock = 0x400;
constexpr std::uint32_t Option = 0x800;
constexpr std::uint32_t Control = 0x1000;
}  // namespace HotKeyModifier

// Given at registration and carried back by every event of that hot key.
struct HotKeyIdentifier {
    std::uint32_t signature = 0;
    std::uint32_t id = 0;
};

enum class HotKeyEventKind : std::uint32_t {
    Pressed = 5,
    Released = 6,
};

// A platform hot-key event, with what the window system's key event is built from.
struct HotKeyPlatformEvent {
    HotKeyEventKind kind = HotKeyEventKind::Pressed;
    HotKeyIdentifier identifier;
    QPointF locationInWindow;
    std::uint64_t modifierFlags = 0;  // the key event's flags (ModifierFlag values)
    double timestamp = 0.0;           // seconds on the run loop's clock
};

// Handle of one registration; 0 is never a valid one.
using HotKeyRegistration = std::uint64_t;

class HotKeyService {
public:
    // Returns the status the event is handled with; 0 counts as handled.
    using EventHandler = std::function<HotKeyStatus(const HotKeyPlatformEvent&)>;

    virtual ~HotKeyService() = default;

    // Installs a handler on the application's event target for one kind of event. Handlers
    // stay installed for the life of the service; each event goes to every handler of its
    // kind, in the order they were installed.
    virtual void installEventHandler(HotKeyEventKind kind, EventHandler handler) = 0;

    // Registers a key code with modifiers as a system-wide hot key. On success stores the
    // handle in `registration` and returns 0; otherwise returns the refusal and leaves
    // `registration` untouched.
    virtual HotKeyStatus registerEventHotKey(std::uint16_t keyCode, std::uint32_t modifiers,
                                             HotKeyIdentifier identifier, HotKeyRegistration& registration) = 0;

    // Cancels a registration; its events stop. Unknown handles give a non-zero status.
    virtual HotKeyStatus unregisterEventHotKey(HotKeyRegistration registration) = 0;
};

}  // namespace uvccam::platform
