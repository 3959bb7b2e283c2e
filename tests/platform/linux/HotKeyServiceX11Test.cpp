// Global hot keys on a private X server: what is grabbed, the events of the keys xdotool
// presses, and the library's 29 shortcuts through them on the Linux platform.
#include "platform/linux/HotKeyServiceX11.h"

#include "UVCCam.h"
#include "UVCCamDiagnostics.h"
#include "platform/Platform.h"
#include "platform/linux/RunLoopQt.h"
#include "support/CategoryMessages.h"
#include "support/EmulatedUsb.h"
#include "support/LibraryProcessState.h"
#include "support/PrivateXServer.h"
#include "support/QtPrinters.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// Last: Xlib's macros would rewrite the headers above.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

using namespace uvccam::platform;
using namespace uvccam::testing;
using namespace std::chrono_literals;

namespace {

constexpr int kQtAlt = 0x01000023;
constexpr int kQtControl = 0x01000021;
constexpr int kQtLeft = 0x01000012;

// The library's shortcuts as a PC keyboard's keys, in the order they are registered.
struct XCombination {
    const char* keysym;
    unsigned int modifiers;
};
constexpr XCombination kShortcutKeys[29] = {
    {"Left", ControlMask}, {"Right", ControlMask}, {"Down", ControlMask}, {"Up", ControlMask},
    {"l", ControlMask}, {"KP_Add", ControlMask}, {"KP_Subtract", ControlMask},
    {"0", Mod1Mask}, {"1", Mod1Mask}, {"2", Mod1Mask}, {"3", Mod1Mask}, {"4", Mod1Mask},
    {"5", Mod1Mask}, {"6", Mod1Mask}, {"7", Mod1Mask}, {"8", Mod1Mask}, {"9", Mod1Mask},
    {"equal", ControlMask}, {"minus", ControlMask},
    {"KP_0", Mod1Mask}, {"KP_1", Mod1Mask}, {"KP_2", Mod1Mask}, {"KP_3", Mod1Mask}, {"KP_4", Mod1Mask},
    {"KP_5", Mod1Mask}, {"KP_6", Mod1Mask}, {"KP_7", Mod1Mask}, {"KP_8", Mod1Mask}, {"KP_9", Mod1Mask},
};
constexpr std::size_t kOptionFive = 12;

// A second client of the test's server, as another program holding shortcuts would be.
class OtherXClient {
public:
    OtherXClient() : display_(XOpenDisplay(nullptr)) {}
    ~OtherXClient()
    {
        if (display_)
            XCloseDisplay(display_);
    }
    OtherXClient(const OtherXClient&) = delete;
    OtherXClient& operator=(const OtherXClient&) = delete;

    bool connected() const { return display_ != nullptr; }
    // Found through XKB, not the modifier mapping the service reads.
    unsigned int numLockMask() const { return XkbKeysymToModifiers(display_, XK_Num_Lock); }

    // Whether the server lets this client grab the key with exactly these modifiers.
    bool grab(const char* keysym, unsigned int modifiers)
    {
        const KeyCode key = XKeysymToKeycode(display_, XStringToKeysym(keysym));
        EXPECT_NE(key, 0) << keysym;
        refused() = false;
        const XErrorHandler previous = XSetErrorHandler(&OtherXClient::recordRefusal);
        XGrabKey(display_, key, modifiers, DefaultRootWindow(display_), False, GrabModeAsync, GrabModeAsync);
        XSync(display_, False);
        XSetErrorHandler(previous);
        return !refused();
    }

    // Held keys repeat after `delay`, every `interval`: many repeats inside the library's 0.1 s.
    void setAutoRepeat(unsigned int delayMs, unsigned int intervalMs)
    {
        XkbSetAutoRepeatRate(display_, XkbUseCoreKbd, delayMs, intervalMs);
        XSync(display_, False);
    }

private:
    static bool& refused()
    {
        static bool flag = false;
        return flag;
    }
    static int recordRefusal(Display*, XErrorEvent* error)
    {
        refused() = refused() || error->error_code == BadAccess;
        return 0;
    }

    Display* display_;
};

// Presses keys on the test's server: "key", "alt+3" ...
void xdotool(const PrivateXServer& server, std::initializer_list<const char*> arguments)
{
    QStringList line;
    for (const char* argument : arguments)
        line << QLatin1String(argument);
    QString failure;
    server.xdotool(line, &failure);
    ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
}

// The library on the Linux platform, as a host gets it, with a private X server as the
// desktop: the keys the host receives, and what the library writes to the system log.
class X11HotKeys : public ::testing::Test {
protected:
    X11HotKeys()
    {
        discardLibraryProcessState();
        Platform::install(nullptr);
        previousHandler_ = uvccam::setDiagnosticHandler([this](uvccam::DiagnosticChannel channel, const QString& text) {
            if (channel == uvccam::DiagnosticChannel::System)
                systemLog << text;
        });
    }
    ~X11HotKeys() override
    {
        camera.reset();
        discardLibraryProcessState();
        Platform::install(nullptr);
        uvccam::setDiagnosticHandler(previousHandler_);
    }
    void SetUp() override
    {
        ASSERT_EQ(server.error(), QString());
        ASSERT_TRUE(other.connected());
        camera.reset(acquireUVCCam());
        QObject::connect(qobject_cast<MacUVCCam*>(camera.get()), &MacUVCCam::keyPressed,
                         [this](int key, bool) { received.push_back(key); });
    }

    bool waitForKeys(std::size_t count)
    {
        return waitFor([&] { return received.size() >= count; });
    }
    // The key events the shortcuts' action logged: "<repeat> <keyCode> <flags>", the repeat
    // flag telling a press (1) from a release (0).
    QStringList keyEventsLogged() const
    {
        static const QRegularExpression event(QStringLiteral("^KeyEvent: .* flags=(0x[0-9a-f]+) .* repeat=(\\d) keyCode=(\\d+)$"));
        QStringList events;
        for (const QString& line : systemLog) {
            const QRegularExpressionMatch match = event.match(line);
            if (match.hasMatch())
                events << match.captured(2) + ' ' + match.captured(3) + ' ' + match.captured(1);
        }
        return events;
    }

    // First: every connection to the server is closed before it goes.
    PrivateXServer server;
    EmulatedUsb usb;
    OtherXClient other;
    std::unique_ptr<UVCCam> camera;
    std::vector<int> received;  // the keyPressed values, in order
    QStringList systemLog;

private:
    uvccam::DiagnosticHandler previousHandler_;
};

// Each combination in every state of the lock keys, so that they cannot stop a shortcut.
std::vector<unsigned int> lockVariants(const OtherXClient& client)
{
    return {0, LockMask, client.numLockMask(), LockMask | client.numLockMask()};
}

TEST_F(X11HotKeys, AllTwentyNineAreGrabbedWhateverTheLocksAndSwitchingOffReleasesEveryGrab)
{
    ASSERT_NE(other.numLockMask(), 0u);
    camera->setKeyboardConnected(true);
    EXPECT_EQ(systemLog, QStringList{"Registered hotkey!"});
    for (const XCombination& combination : kShortcutKeys) {
        for (const unsigned int lock : lockVariants(other))
            EXPECT_FALSE(other.grab(combination.keysym, combination.modifiers | lock)) << combination.keysym << " " << lock;
    }

    camera->setKeyboardConnected(false);
    for (const XCombination& combination : kShortcutKeys) {
        for (const unsigned int lock : lockVariants(other))
            EXPECT_TRUE(other.grab(combination.keysym, combination.modifiers | lock)) << combination.keysym << " " << lock;
    }
}

struct LockKeys {
    const char* name;
    bool capsLock;
    bool numLock;
};

void PrintTo(const LockKeys& locks, std::ostream* out)
{
    *out << locks.name;
}

class X11HotKeysUnderLocks : public X11HotKeys, public ::testing::WithParamInterface<LockKeys> {};

// Option+3 once, then Command+Left held under a fast auto-repeat (every 10 ms): the host
// gets the table's keys, the held pair repeated by the library's timer, and the shortcuts'
// action sees exactly one press and one release of each key, with its modifiers.
TEST_P(X11HotKeysUnderLocks, PressesReachTheHostAsTheShortcutTableSays)
{
    if (GetParam().capsLock)
        xdotool(server, {"key", "Caps_Lock"});
    if (GetParam().numLock)
        xdotool(server, {"key", "Num_Lock"});
    other.setAutoRepeat(30, 10);
    camera->setKeyboardConnected(true);

    xdotool(server, {"key", "alt+3"});
    ASSERT_TRUE(waitForKeys(2));
    xdotool(server, {"keydown", "ctrl+Left"});
    // The press's pair and at least two ticks of the repeat.
    const bool repeated = waitForKeys(8);
    xdotool(server, {"keyup", "ctrl+Left"});
    ASSERT_TRUE(repeated) << received.size();
    ASSERT_TRUE(waitFor([] { return !MacHotKeyManager::sharedInstance()->keyTimer(); })) << "the release stops the repeat";

    const std::vector<int>& values = received;
    ASSERT_EQ(values.size() % 2, 0u);
    EXPECT_EQ(std::vector<int>(values.begin(), values.begin() + 2), (std::vector<int>{kQtAlt, '3'}));
    for (std::size_t i = 2; i < values.size(); i += 2) {
        EXPECT_EQ(values[i], kQtControl) << i;
        EXPECT_EQ(values[i + 1], kQtLeft) << i;
    }

    const QStringList events = keyEventsLogged();
    ASSERT_EQ(events.size(), 4) << events.join(" | ").toStdString();
    EXPECT_EQ(events[0], GetParam().capsLock ? "1 20 0x90000" : "1 20 0x80000") << "Option, and Caps Lock when on";
    EXPECT_TRUE(events[1].startsWith("0 20 ")) << events[1].toStdString();
    EXPECT_EQ(events[2], GetParam().capsLock ? "1 123 0x110000" : "1 123 0x100000") << "Command";
    EXPECT_TRUE(events[3].startsWith("0 123 ")) << events[3].toStdString();
}

INSTANTIATE_TEST_SUITE_P(Locks, X11HotKeysUnderLocks,
                         ::testing::Values(LockKeys{"NoLock", false, false}, LockKeys{"CapsLock", true, false},
                                           LockKeys{"NumLock", false, true}, LockKeys{"BothLocks", true, true}),
                         [](const ::testing::TestParamInfo<LockKeys>& locks) { return std::string(locks.param.name); });

// Indexes into lockVariants().
enum class HeldVariant { Plain, CapsLock, NumLock };

std::string heldVariantName(const ::testing::TestParamInfo<HeldVariant>& variant)
{
    switch (variant.param) {
    case HeldVariant::Plain:
        return "Plain";
    case HeldVariant::CapsLock:
        return "CapsLock";
    case HeldVariant::NumLock:
        return "NumLock";
    }
    return "Unknown";
}

class X11HotKeysTakenByAnotherClient : public X11HotKeys, public ::testing::WithParamInterface<HeldVariant> {};

// Another client holds Option+5, the thirteenth, in one state of the locks: registration
// stops there, the twelve before it stay, and no other state of Option+5 stays grabbed.
TEST_P(X11HotKeysTakenByAnotherClient, StopsTheRegistrationThereAndKeepsTheShortcutsBefore)
{
    const std::vector<unsigned int> locks = lockVariants(other);
    const unsigned int held = locks[static_cast<std::size_t>(GetParam())];
    ASSERT_TRUE(other.grab(kShortcutKeys[kOptionFive].keysym, Mod1Mask | held));

    camera->setKeyboardConnected(true);
    EXPECT_EQ(systemLog, QStringList{"Unable to register hotkey"});
    EXPECT_EQ(HKHotKeyCenter::sharedHotKeyCenter()->registeredHotKeys().size(), kOptionFive);
    for (std::size_t i = 0; i < kOptionFive; ++i)
        EXPECT_FALSE(other.grab(kShortcutKeys[i].keysym, kShortcutKeys[i].modifiers)) << kShortcutKeys[i].keysym;
    for (const unsigned int lock : locks) {
        if (lock != held) {
            EXPECT_TRUE(other.grab(kShortcutKeys[kOptionFive].keysym, Mod1Mask | lock)) << lock;
        }
    }

    xdotool(server, {"key", "alt+4"});
    ASSERT_TRUE(waitForKeys(2));
    EXPECT_EQ(received, (std::vector<int>{kQtAlt, '4'}));
}

INSTANTIATE_TEST_SUITE_P(Locks, X11HotKeysTakenByAnotherClient,
                         ::testing::Values(HeldVariant::Plain, HeldVariant::CapsLock, HeldVariant::NumLock),
                         heldVariantName);

// The service itself, without the library's registry: its events and its refusals.
class X11HotKeyService : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(server.error(), QString()); }

    PrivateXServer server;
    RunLoopQt loop;
    HotKeyServiceX11 service{loop};
    // "a+7": handler a saw a press of the registration with id 7; "-" for a release.
    QStringList seen;
};

TEST_F(X11HotKeyService, PostsOnePressAndOneReleasePerKeyToEveryHandlerInOrder)
{
    std::vector<HotKeyPlatformEvent> events;
    for (const HotKeyEventKind kind : {HotKeyEventKind::Pressed, HotKeyEventKind::Released}) {
        for (const char* handler : {"a", "b"}) {
            service.installEventHandler(kind, [this, &events, handler](const HotKeyPlatformEvent& event) {
                seen << QStringLiteral("%1%2%3")
                            .arg(QLatin1String(handler))
                            .arg(event.kind == HotKeyEventKind::Pressed ? '+' : '-')
                            .arg(event.identifier.id);
                events.push_back(event);
                return kHotKeySuccess;
            });
        }
    }
    // L with all four modifiers, and the arrows with Command.
    const std::uint32_t allFour = HotKeyModifier::Command | HotKeyModifier::Option | HotKeyModifier::Shift
                                  | HotKeyModifier::Control;
    HotKeyRegistration l = 0;
    HotKeyRegistration left = 0;
    HotKeyRegistration right = 0;
    ASSERT_EQ(service.registerEventHotKey(37, allFour, {0x68746B31, 1}, l), kHotKeySuccess);
    ASSERT_EQ(service.registerEventHotKey(123, HotKeyModifier::Command, {0x68746B31, 2}, left), kHotKeySuccess);
    ASSERT_EQ(service.registerEventHotKey(124, HotKeyModifier::Command, {0x68746B31, 3}, right), kHotKeySuccess);
    HotKeyRegistration unchanged = 99;
    EXPECT_EQ(service.registerEventHotKey(123, HotKeyModifier::Command, {0x68746B31, 4}, unchanged), kHotKeyExists);
    EXPECT_EQ(service.registerEventHotKey(63, HotKeyModifier::Command, {0x68746B31, 5}, unchanged),
              HotKeyServiceX11::kNoSuchKey) << "the Function key has no PC counterpart";
    EXPECT_EQ(unchanged, 99u);

    const double before = std::chrono::duration<double>(loop.now()).count();
    xdotool(server, {"key", "ctrl+alt+shift+super+l"});
    ASSERT_TRUE(waitFor([&] { return seen.size() == 4; }));
    EXPECT_EQ(seen, (QStringList{"a+1", "b+1", "a-1", "b-1"}));
    EXPECT_EQ(events[0].modifierFlags,
              ModifierFlag::Command | ModifierFlag::Option | ModifierFlag::Shift | ModifierFlag::Control);
    EXPECT_EQ(events[0].identifier.signature, 0x68746B31u);
    EXPECT_GE(events[0].timestamp, before);
    EXPECT_LE(events[3].timestamp, std::chrono::duration<double>(loop.now()).count());

    // Right pressed while Command+Left holds the keyboard, then Left released first: the
    // grab ends there and Right's release goes elsewhere, so it counts as released then,
    // and its next press is a press again.
    seen.clear();
    xdotool(server, {"keydown", "ctrl+Left"});
    ASSERT_TRUE(waitFor([&] { return seen.size() == 2; }));
    xdotool(server, {"keydown", "Right"});
    ASSERT_TRUE(waitFor([&] { return seen.size() == 4; }));
    xdotool(server, {"keyup", "Left"});
    xdotool(server, {"keyup", "Right"});
    xdotool(server, {"keyup", "ctrl"});
    xdotool(server, {"key", "ctrl+Right"});
    ASSERT_TRUE(waitFor([&] { return seen.size() == 12; })) << seen.join(' ').toStdString();
    EXPECT_EQ(seen, (QStringList{"a+2", "b+2", "a+3", "b+3", "a-2", "b-2", "a-3", "b-3", "a+3", "b+3", "a-3", "b-3"}));

    EXPECT_EQ(service.unregisterEventHotKey(l), kHotKeySuccess);
    EXPECT_NE(service.unregisterEventHotKey(l), kHotKeySuccess);
    EXPECT_NE(service.unregisterEventHotKey(0), kHotKeySuccess);
}

// The X server quits while a hot key is held: the host process lives on (Xlib's default
// would end it), the held key is released, one warning says what happened, and the next
// registration finds the next server.
TEST(X11HotKeyServiceLosingItsServer, LivesOnEndsEveryRegistrationAndRegistersAgainOnTheNextServer)
{
    RunLoopQt loop;
    HotKeyServiceX11 service{loop};
    QStringList seen;
    for (const HotKeyEventKind kind : {HotKeyEventKind::Pressed, HotKeyEventKind::Released}) {
        service.installEventHandler(kind, [&seen](const HotKeyPlatformEvent& event) {
            seen << QStringLiteral("%1%2").arg(event.kind == HotKeyEventKind::Pressed ? '+' : '-').arg(event.identifier.id);
            return kHotKeySuccess;
        });
    }
    auto server = std::make_unique<PrivateXServer>();
    ASSERT_EQ(server->error(), QString());
    HotKeyRegistration left = 0;
    ASSERT_EQ(service.registerEventHotKey(123, HotKeyModifier::Command, {0x68746B31, 1}, left), kHotKeySuccess);
    xdotool(*server, {"keydown", "ctrl+Left"});
    ASSERT_TRUE(waitFor([&] { return seen.size() == 1; }));

    CategoryMessages messages("uvccam.linux.desktop");
    server.reset();
    ASSERT_TRUE(waitFor([&] { return seen.size() == 2; })) << "the held key is released";
    EXPECT_EQ(seen, (QStringList{"+1", "-1"}));
    ASSERT_EQ(messages.warnings().size(), 1);
    EXPECT_TRUE(messages.warnings().front().contains(QStringLiteral("went away"))) << messages.warnings().front().toStdString();
    EXPECT_EQ(service.unregisterEventHotKey(left), HotKeyServiceX11::kUnknownRegistration);

    PrivateXServer next;
    ASSERT_EQ(next.error(), QString());
    HotKeyRegistration again = 0;
    ASSERT_EQ(service.registerEventHotKey(123, HotKeyModifier::Command, {0x68746B31, 2}, again), kHotKeySuccess);
    xdotool(next, {"key", "ctrl+Left"});
    ASSERT_TRUE(waitFor([&] { return seen.size() == 4; }));
    EXPECT_EQ(seen.mid(2), (QStringList{"+2", "-2"}));
}

// DISPLAY as given for the test's time; unset for an empty value.
class ScopedDisplay {
public:
    explicit ScopedDisplay(const QByteArray& display) : previous_(qgetenv("DISPLAY")), hadOne_(qEnvironmentVariableIsSet("DISPLAY"))
    {
        if (display.isEmpty())
            qunsetenv("DISPLAY");
        else
            qputenv("DISPLAY", display);
    }
    ~ScopedDisplay()
    {
        if (hadOne_)
            qputenv("DISPLAY", previous_);
        else
            qunsetenv("DISPLAY");
    }

private:
    QByteArray previous_;
    bool hadOne_;
};

class WithoutXDisplay : public ::testing::TestWithParam<const char*> {};

// A Wayland-only session, or a server that is gone: the hot keys are refused, one warning
// says why, and nothing of X is touched before the first registration.
TEST_P(WithoutXDisplay, EveryRegistrationIsRefusedWithOneMessage)
{
    const ScopedDisplay display(GetParam());
    CategoryMessages messages("uvccam.linux.desktop");
    RunLoopQt loop;
    HotKeyServiceX11 service(loop);
    service.installEventHandler(HotKeyEventKind::Pressed, [](const HotKeyPlatformEvent&) { return kHotKeySuccess; });
    EXPECT_EQ(messages.texts(), QStringList());

    HotKeyRegistration registration = 0;
    EXPECT_EQ(service.registerEventHotKey(37, HotKeyModifier::Command, {0x68746B31, 1}, registration),
              HotKeyServiceX11::kNoDisplay);
    EXPECT_EQ(service.registerEventHotKey(20, HotKeyModifier::Option, {0x68746B31, 2}, registration),
              HotKeyServiceX11::kNoDisplay);
    EXPECT_EQ(registration, 0u);
    ASSERT_EQ(messages.texts().size(), 1);
    EXPECT_TRUE(messages.texts().front().contains(QStringLiteral("global hot keys need an X11 display")))
        << messages.texts().front().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Display, WithoutXDisplay, ::testing::Values("", ":4242"),
                         [](const ::testing::TestParamInfo<const char*>& display) {
                             return std::string(*display.param ? "Unreachable" : "Unset");
                         });

}  // namespace
