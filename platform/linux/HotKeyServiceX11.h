// System-wide hot keys on an X11 display: key grabs on the root window and their key events.
#pragma once

#include "platform/HotKeyService.h"
#include "platform/RunLoop.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace uvccam::platform {

// A registration is a passive grab of its key with its modifiers on the display's root
// window, so the key reaches this process whichever window has the focus. Caps Lock and
// Num Lock are modifiers to X: each combination is grabbed four times (neither lock, Caps
// Lock, Num Lock, both) so that the lock keys do not matter. A combination another client
// holds in any of these is refused with kHotKeyExists, and nothing of it stays grabbed.
//
// Key codes are the desktop's key positions, mapped to X key codes through the input
// layer's (EvdevKeyCodes.h); modifiers follow the Qt key translation's convention: Command
// is Ctrl, Control is Super (Mod4), Option is Alt (Mod1). A press of a grabbed combination
// posts one Pressed event, its release one Released event; a held key's auto-repeat posts
// nothing (the library repeats by itself). Events reach every installed handler of their
// kind through the run loop, never from inside the call that read them.
//
// The display (DISPLAY) is opened at the first registration, not at construction: every
// host gets this service with the Linux platform, and one that never registers a hot key
// must not connect to an X server, nor wait for one that does not answer, nor log about one
// that is missing. Without a display (DISPLAY unset in a Wayland-only session or none, or
// a server that cannot be reached) every registration is refused with kNoDisplay and one
// warning on the "uvccam.linux.desktop" category says why; the display is not tried again.
// Under Xwayland the grabs only see keys typed into X clients.
//
// One X connection of its own, read on the main thread through a socket notifier on its
// descriptor. Call it from the thread that made it, which runs a Qt event loop. When the X
// server goes away the process goes on (Xlib's default would end it): the registrations
// end, one warning says so, and the next registration opens the display again.
class HotKeyServiceX11 : public HotKeyService {
public:
    // No X display to register with.
    static constexpr HotKeyStatus kNoDisplay = -9868;
    // A key code without an X counterpart (a position a PC keyboard lacks), or one the
    // server has no key for.
    static constexpr HotKeyStatus kNoSuchKey = -50;
    // A handle the service never gave, or one already cancelled.
    static constexpr HotKeyStatus kUnknownRegistration = -9879;

    explicit HotKeyServiceX11(RunLoop& runLoop);
    // Closing the connection releases its grabs.
    ~HotKeyServiceX11() override;

    HotKeyServiceX11(const HotKeyServiceX11&) = delete;
    HotKeyServiceX11& operator=(const HotKeyServiceX11&) = delete;

    void installEventHandler(HotKeyEventKind kind, EventHandler handler) override;
    HotKeyStatus registerEventHotKey(std::uint16_t keyCode, std::uint32_t modifiers, HotKeyIdentifier identifier,
                                     HotKeyRegistration& registration) override;
    HotKeyStatus unregisterEventHotKey(HotKeyRegistration registration) override;

private:
    struct Connection;  // the display, its lock modifiers and its socket notifier
    struct Registration {
        HotKeyIdentifier identifier;
        unsigned int xKeyCode = 0;
        // The modifier masks grabbed: the combination's, with each state of the lock keys.
        std::vector<unsigned int> xModifierVariants;
    };
    using Handlers = std::vector<std::pair<HotKeyEventKind, EventHandler>>;

    bool connect();
    // The X error code of the first variant refused, or 0 when every one is held.
    int grab(const Registration& registration);
    void ungrab(const Registration& registration);
    bool overlapsLiveRegistration(const Registration& candidate) const;
    // Reads everything the connection holds; called by the notifier and after each of
    // this service's own round trips, which may have queued events the socket no longer shows.
    void readEvents();
    // The server went away (Xlib told the connection's exit handler): ends every
    // registration and lets the connection go.
    void connectionLost();
    void keyPressed(unsigned int xKeyCode, unsigned int state);
    void keyReleased(unsigned int xKeyCode, unsigned int state);
    void post(HotKeyEventKind kind, HotKeyRegistration handle, unsigned int state);

    RunLoop& runLoop_;
    // Shared with the events posted to the run loop, which find it gone after the service.
    std::shared_ptr<Handlers> handlers_ = std::make_shared<Handlers>();
    std::unique_ptr<Connection> connection_;
    bool displayUnavailable_ = false;
    std::map<HotKeyRegistration, Registration> registrations_;
    HotKeyRegistration nextHandle_ = 1;
    // The grabbed keys whose press was posted and whose release was not, and the one whose
    // press started the keyboard grab the server gives for a passive grab: its release
    // ends that grab, after which the others' releases go to the focused window instead.
    std::map<unsigned int, HotKeyRegistration> pressed_;
    std::optional<unsigned int> grabbingKey_;
};

}  // namespace uvccam::platform
