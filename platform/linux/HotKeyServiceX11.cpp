// Global hot keys as passive key grabs on an X11 display's root window, read on the main thread.
#include "platform/linux/HotKeyServiceX11.h"

#include "KeyEvent.h"
#include "platform/linux/EvdevKeyCodes.h"

#include <QLoggingCategory>
#include <QObject>
#include <QSocketNotifier>

#include <algorithm>
#include <array>
#include <chrono>
#include <set>

// Last: Xlib's macros (None, Bool, Status, KeyPress, Always ...) would rewrite the headers above.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace uvccam::platform {

namespace {

Q_LOGGING_CATEGORY(lcDesktop, "uvccam.linux.desktop")

constexpr int kXKeyPress = KeyPress;
constexpr int kXKeyRelease = KeyRelease;
// The eight modifier bits of a key event's state; the pointer buttons and the keyboard
// group above them play no part in a grab.
constexpr unsigned int kModifierBits = ShiftMask | LockMask | ControlMask | Mod1Mask | Mod2Mask | Mod3Mask
                                       | Mod4Mask | Mod5Mask;

struct RegistrationModifier {
    std::uint32_t modifier;
    unsigned int xMask;
};

// By the Qt key translation's convention, so that a shortcut recorded in the hot-key field
// is the one grabbed: Ctrl is Command, Super (Mod4) is Control, Alt (Mod1) is Option.
constexpr std::array<RegistrationModifier, 5> kRegistrationModifiers{{
    {HotKeyModifier::Command, ControlMask},
    {HotKeyModifier::Shift, ShiftMask},
    {HotKeyModifier::AlphaLock, LockMask},
    {HotKeyModifier::Option, Mod1Mask},
    {HotKeyModifier::Control, Mod4Mask},
}};

struct EventFlag {
    unsigned int xMask;
    std::uint64_t flag;
};

constexpr std::array<EventFlag, 5> kEventFlags{{
    {ControlMask, ModifierFlag::Command},
    {Mod4Mask, ModifierFlag::Control},
    {Mod1Mask, ModifierFlag::Option},
    {ShiftMask, ModifierFlag::Shift},
    {LockMask, ModifierFlag::CapsLock},
}};

unsigned int xModifiersFor(std::uint32_t modifiers)
{
    unsigned int mask = 0;
    for (const auto& pair : kRegistrationModifiers) {
        if (modifiers & pair.modifier)
            mask |= pair.xMask;
    }
    return mask;
}

std::uint64_t flagsForState(unsigned int state)
{
    std::uint64_t flags = 0;
    for (const auto& pair : kEventFlags) {
        if (state & pair.xMask)
            flags |= pair.flag;
    }
    return flags;
}

// The modifier that holds Num Lock in the server's mapping (Mod2 in the usual keymaps),
// or 0 when none does.
unsigned int numLockMask(Display* display)
{
    const KeyCode numLock = XKeysymToKeycode(display, XK_Num_Lock);
    XModifierKeymap* map = XGetModifierMapping(display);
    if (!map)
        return 0;
    unsigned int mask = 0;
    for (int modifier = 0; modifier < 8 && numLock != 0; ++modifier) {
        for (int i = 0; i < map->max_keypermod; ++i) {
            if (map->modifiermap[modifier * map->max_keypermod + i] == numLock)
                mask = 1u << modifier;
        }
    }
    XFreeModifiermap(map);
    return mask;
}

// Collects the errors of one display while it lives. Xlib has one error handler for the
// whole process, whose default ends it, so this one is installed only around the requests
// whose errors are answers (BadAccess: another client holds the combination). Errors of
// other displays, the host's own among them, go on to the handler that was there before.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* display) : display_(display)
    {
        active() = this;
        previous_ = XSetErrorHandler(&ErrorTrap::record);
    }
    ~ErrorTrap()
    {
        XSetErrorHandler(previous_);
        active() = nullptr;
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    int firstError() const { return firstError_; }

private:
    static ErrorTrap*& active()
    {
        static ErrorTrap* trap = nullptr;
        return trap;
    }
    static int record(Display* display, XErrorEvent* error)
    {
        ErrorTrap* trap = active();
        if (trap && display == trap->display_) {
            if (trap->firstError_ == Success)
                trap->firstError_ = error->error_code;
            return 0;
        }
        return trap && trap->previous_ ? trap->previous_(display, error) : 0;
    }

    Display* display_;
    XErrorHandler previous_ = nullptr;
    int firstError_ = Success;
};

// Xlib ends the process when a connection breaks (the X server quits or crashes, the
// session ends): its default I/O error handler exits, and so does a display's default exit
// handler. A library must not take its host down with a connection of its own, so the
// displays of this service are survivable: the process-wide I/O error handler returns for
// them (and goes on to the handler that was there before for every other display, the
// host's among them), and each one's exit handler only marks it lost.
std::set<Display*>& survivableDisplays()
{
    static std::set<Display*> displays;
    return displays;
}

// The handler before ours, which every other display's loss goes to.
XIOErrorHandler& previousIOErrorHandler()
{
    static XIOErrorHandler previous = nullptr;
    return previous;
}

int ioErrorHandler(Display* display)
{
    if (survivableDisplays().count(display) != 0)
        return 0;
    const XIOErrorHandler previous = previousIOErrorHandler();
    return previous ? previous(display) : 0;
}

void installIOErrorHandler()
{
    static const bool installed = (previousIOErrorHandler() = XSetIOErrorHandler(&ioErrorHandler), true);
    (void)installed;
}

}  // namespace

struct HotKeyServiceX11::Connection {
    Display* display = nullptr;
    Window root = 0;
    // Neither lock, Caps Lock, Num Lock, both; without a Num Lock modifier the first two.
    std::vector<unsigned int> lockVariants;
    std::unique_ptr<QSocketNotifier> notifier;
    // The server went away: Xlib answers every further call on the display with nothing.
    bool lost = false;

    explicit Connection(Display* openedDisplay) : display(openedDisplay), root(DefaultRootWindow(openedDisplay))
    {
        installIOErrorHandler();
        survivableDisplays().insert(display);
        XSetIOErrorExitHandler(
            display, [](Display*, void* connection) { static_cast<Connection*>(connection)->lost = true; }, this);
    }
    ~Connection()
    {
        notifier.reset();
        XCloseDisplay(display);
        survivableDisplays().erase(display);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
};

HotKeyServiceX11::HotKeyServiceX11(RunLoop& runLoop) : runLoop_(runLoop) {}

HotKeyServiceX11::~HotKeyServiceX11() = default;

void HotKeyServiceX11::installEventHandler(HotKeyEventKind kind, EventHandler handler)
{
    if (!handler)
        return;
    handlers_->emplace_back(kind, std::move(handler));
}

bool HotKeyServiceX11::connect()
{
    if (connection_)
        return true;
    if (displayUnavailable_)
        return false;

    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        // Said once: the registrations that follow meet the same missing display.
        displayUnavailable_ = true;
        const QString name = QString::fromLocal8Bit(XDisplayName(nullptr));
        if (name.isEmpty())
            qCWarning(lcDesktop, "global hot keys need an X11 display, and DISPLAY names none (a Wayland-only "
                                 "session, or no desktop): no hot key is registered");
        else
            qCWarning(lcDesktop, "global hot keys need an X11 display, and %s cannot be reached: no hot key is "
                                 "registered",
                      qPrintable(name));
        return false;
    }

    connection_ = std::make_unique<Connection>(display);
    // Without it a held key repeats as release and press pairs, each a false release.
    Bool detectable = False;
    XkbSetDetectableAutoRepeat(display, True, &detectable);
    if (!detectable)
        qCWarning(lcDesktop, "the X server cannot tell auto-repeat from key releases: a held hot key is "
                             "reported as pressed and released again and again");
    const unsigned int numLock = numLockMask(display);
    connection_->lockVariants = {0, LockMask};
    if (numLock != 0) {
        connection_->lockVariants.push_back(numLock);
        connection_->lockVariants.push_back(numLock | LockMask);
    }
    connection_->notifier = std::make_unique<QSocketNotifier>(ConnectionNumber(display), QSocketNotifier::Read);
    QObject::connect(connection_->notifier.get(), &QSocketNotifier::activated, connection_->notifier.get(), [this] {
        readEvents();
        // A closed socket reads as readable: this is where a server that went away shows.
        if (connection_->lost)
            connectionLost();
    });
    // Opening read the server's first messages already; the socket will not show them again.
    readEvents();
    if (connection_->lost) {
        connectionLost();
        return false;
    }
    return true;
}

HotKeyStatus HotKeyServiceX11::registerEventHotKey(std::uint16_t keyCode, std::uint32_t modifiers,
                                                   HotKeyIdentifier identifier, HotKeyRegistration& registration)
{
    const std::optional<std::uint16_t> evdevCode = evdevCodeForKeyCode(keyCode);
    if (!evdevCode)
        return kNoSuchKey;
    if (!connect())
        return kNoDisplay;

    Registration candidate;
    candidate.identifier = identifier;
    candidate.xKeyCode = *evdevCode + kX11KeyCodeOffset;
    const unsigned int combination = xModifiersFor(modifiers);
    for (const unsigned int lock : connection_->lockVariants) {
        const unsigned int variant = combination | lock;
        // Caps Lock registered as a modifier makes two variants one.
        if (std::find(candidate.xModifierVariants.begin(), candidate.xModifierVariants.end(), variant)
            == candidate.xModifierVariants.end())
            candidate.xModifierVariants.push_back(variant);
    }
    // The server lets a client grab what it holds already, replacing its own grab: one of
    // ours in common would be lost when the other registration goes.
    if (overlapsLiveRegistration(candidate))
        return kHotKeyExists;

    const int error = grab(candidate);
    if (connection_->lost) {
        connectionLost();
        return kNoDisplay;
    }
    if (error != Success) {
        // The variants that were granted: a combination is held whole or not at all. An
        // ungrab leaves another client's grabs alone.
        ungrab(candidate);
        // A grab of ours meets one other error: BadValue, a key code the server lacks.
        return error == BadAccess ? kHotKeyExists : kNoSuchKey;
    }
    const HotKeyRegistration handle = nextHandle_++;
    registrations_.emplace(handle, std::move(candidate));
    registration = handle;
    return kHotKeySuccess;
}

HotKeyStatus HotKeyServiceX11::unregisterEventHotKey(HotKeyRegistration registration)
{
    const auto found = registrations_.find(registration);
    if (found == registrations_.end())
        return kUnknownRegistration;
    ungrab(found->second);
    if (connection_->lost) {
        // Its grabs went with the server, and so did every other registration.
        connectionLost();
        return kHotKeySuccess;
    }
    // A key of it still held keeps its entry in pressed_, so that its auto-repeat and
    // release are still recognised; with the registration gone they post nothing.
    registrations_.erase(found);
    return kHotKeySuccess;
}

bool HotKeyServiceX11::overlapsLiveRegistration(const Registration& candidate) const
{
    for (const auto& entry : registrations_) {
        const Registration& live = entry.second;
        if (live.xKeyCode != candidate.xKeyCode)
            continue;
        for (const unsigned int variant : candidate.xModifierVariants) {
            if (std::find(live.xModifierVariants.begin(), live.xModifierVariants.end(), variant)
                != live.xModifierVariants.end())
                return true;
        }
    }
    return false;
}

int HotKeyServiceX11::grab(const Registration& registration)
{
    Display* display = connection_->display;
    int error = Success;
    {
        ErrorTrap trap(display);
        for (const unsigned int variant : registration.xModifierVariants)
            XGrabKey(display, static_cast<int>(registration.xKeyCode), variant, connection_->root, False,
                     GrabModeAsync, GrabModeAsync);
        // A refusal comes back as an error only; the round trip makes it arrive here.
        XSync(display, False);
        error = trap.firstError();
    }
    readEvents();
    return error;
}

void HotKeyServiceX11::ungrab(const Registration& registration)
{
    Display* display = connection_->display;
    {
        ErrorTrap trap(display);
        for (const unsigned int variant : registration.xModifierVariants)
            XUngrabKey(display, static_cast<int>(registration.xKeyCode), variant, connection_->root);
        XSync(display, False);
    }
    readEvents();
}

void HotKeyServiceX11::readEvents()
{
    Display* display = connection_->display;
    while (!connection_->lost && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == kXKeyPress)
            keyPressed(event.xkey.keycode, event.xkey.state);
        else if (event.type == kXKeyRelease)
            keyReleased(event.xkey.keycode, event.xkey.state);
    }
}

void HotKeyServiceX11::connectionLost()
{
    // The grabs went with the server. Keys held then are released as far as the host can
    // tell, and every registration ends; the next registration opens the display again,
    // which finds a new server or none.
    qCWarning(lcDesktop, "the X server %s went away: the global hot keys are gone until they are registered again",
              XDisplayString(connection_->display));
    for (const auto& [key, handle] : pressed_)
        post(HotKeyEventKind::Released, handle, 0);
    pressed_.clear();
    grabbingKey_.reset();
    registrations_.clear();
    // Not from inside the notifier's own signal: the connection goes on the next turn.
    connection_->notifier->setEnabled(false);
    runLoop_.dispatchAfter(Duration::zero(), [lostConnection = std::shared_ptr<Connection>(std::move(connection_))] {});
}

void HotKeyServiceX11::keyPressed(unsigned int xKeyCode, unsigned int state)
{
    // With detectable auto-repeat a held key repeats as presses alone; only the first counts.
    if (pressed_.count(xKeyCode) != 0)
        return;
    const unsigned int modifiers = state & kModifierBits;
    for (const auto& [handle, registration] : registrations_) {
        if (registration.xKeyCode != xKeyCode
            || std::find(registration.xModifierVariants.begin(), registration.xModifierVariants.end(), modifiers)
                   == registration.xModifierVariants.end())
            continue;
        // Outside a grab only a grabbed combination reaches this client, and its press
        // starts the grab.
        if (pressed_.empty())
            grabbingKey_ = xKeyCode;
        pressed_[xKeyCode] = handle;
        post(HotKeyEventKind::Pressed, handle, state);
        return;
    }
}

void HotKeyServiceX11::keyReleased(unsigned int xKeyCode, unsigned int state)
{
    const auto found = pressed_.find(xKeyCode);
    if (found == pressed_.end())
        return;
    post(HotKeyEventKind::Released, found->second, state);
    pressed_.erase(found);
    if (grabbingKey_ != xKeyCode)
        return;
    // The grab ends with this release; keys of ours still held will be released to the
    // focused window, unseen here, so they count as released now.
    for (const auto& [key, handle] : pressed_)
        post(HotKeyEventKind::Released, handle, state);
    pressed_.clear();
    grabbingKey_.reset();
}

void HotKeyServiceX11::post(HotKeyEventKind kind, HotKeyRegistration handle, unsigned int state)
{
    const auto registration = registrations_.find(handle);
    if (registration == registrations_.end())
        return;
    HotKeyPlatformEvent event;
    event.kind = kind;
    event.identifier = registration->second.identifier;
    event.modifierFlags = flagsForState(state);
    event.timestamp = std::chrono::duration<double>(runLoop_.now()).count();
    runLoop_.dispatchAfter(Duration::zero(), [weakHandlers = std::weak_ptr<Handlers>(handlers_), event] {
        const std::shared_ptr<Handlers> handlers = weakHandlers.lock();
        if (!handlers)
            return;
        // A handler may install another one; this event goes to those installed now.
        const Handlers installed = *handlers;
        for (const auto& [handlerKind, handler] : installed) {
            if (handlerKind == event.kind)
                handler(event);
        }
    });
}

}  // namespace uvccam::platform
