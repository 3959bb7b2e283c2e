// The hot-key registry: identifiers, identity, registration and unregistration as the
// platform sees them, and platform events reaching targets and tasks.
#include "hotkey/HKHotKeyCenter.h"

#include "platform/Platform.h"
#include "platform/sim/HotKeyServiceSim.h"
#include "support/SimulatedWorld.h"

#include <QObject>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

using namespace uvccam::platform;
using namespace std::chrono_literals;
using uvccam::testing::SimulatedWorld;
using Request = HotKeyServiceSim::Request;

constexpr std::uint64_t kCommand = ModifierFlag::Command;

// A target with the action's signature, one more action, and a method of another shape.
class Receiver : public QObject {
    Q_OBJECT

public:
    struct Call {
        QByteArray action;
        KeyEvent event;
        QVariant object;
    };
    std::vector<Call> calls;

    Q_INVOKABLE void hotkeyWithEvent(const uvccam::platform::KeyEvent& event, const QVariant& object)
    {
        calls.push_back({"hotkeyWithEvent", event, object});
    }
    Q_INVOKABLE void other(uvccam::platform::KeyEvent event, QVariant object) { calls.push_back({"other", event, object}); }
    Q_INVOKABLE void notAnAction(int) { calls.push_back({"notAnAction", {}, {}}); }
};

class HotKeyRegistry : public SimulatedWorld {
protected:
    HKHotKeyCenter& center() { return *HKHotKeyCenter::sharedHotKeyCenter(); }
    HotKeyServiceSim& platformHotKeys() { return static_cast<HotKeyServiceSim&>(Platform::current().hotKeys()); }
    std::vector<Request> requestsOf(Request::Kind kind) { return platformHotKeys().requests(kind); }

    // A hot key whose task counts its invocations.
    static std::shared_ptr<HKHotKey> counting(std::uint16_t keyCode, std::uint64_t flags, int& count)
    {
        return HKHotKey::hotKeyWithKeyCode(keyCode, flags, [&count](const KeyEvent&) { ++count; });
    }

    // Presses the combination and lets the event arrive.
    bool pressNow(std::uint16_t keyCode, std::uint64_t flags)
    {
        const bool posted = platformHotKeys().press(keyCode, flags);
        deliverPending();
        return posted;
    }
};

TEST_F(HotKeyRegistry, IdentifiersRunFromOneARefusalConsumesNoneAndANewRegistryStartsAgain)
{
    int unused = 0;
    auto left = center().registerHotKey(counting(123, kCommand, unused));
    platformHotKeys().refuseNextRegistration();
    EXPECT_EQ(center().registerHotKey(counting(124, kCommand, unused)), nullptr);
    auto right = center().registerHotKey(counting(124, kCommand, unused));
    auto down = center().registerHotKey(counting(125, kCommand, unused));

    ASSERT_TRUE(left && right && down);
    EXPECT_EQ(std::vector<std::uint32_t>({left->hotKeyID(), right->hotKeyID(), down->hotKeyID()}),
              std::vector<std::uint32_t>({1, 2, 3}));
    const auto asked = requestsOf(Request::Kind::Register);
    ASSERT_EQ(asked.size(), 4u);
    const std::uint32_t ids[] = {1, 2, 2, 3};
    for (std::size_t i = 0; i < asked.size(); ++i) {
        EXPECT_EQ(asked[i].identifier.signature, 0x68746B31u) << i;
        EXPECT_EQ(asked[i].identifier.id, ids[i]) << i;
        EXPECT_EQ(asked[i].modifiers, HotKeyModifier::Command) << i;
    }

    // Discarding the registry cancels its registrations and silences its handlers; a new
    // registry on the same platform starts again and is reached once per event.
    HKHotKeyCenter::discardSharedHotKeyCenter();
    EXPECT_TRUE(platformHotKeys().registrations().empty());
    int runs = 0;
    auto again = center().registerHotKey(counting(123, kCommand, runs));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->hotKeyID(), 1u);
    EXPECT_TRUE(pressNow(123, kCommand));
    EXPECT_EQ(std::make_pair(runs, unused), std::make_pair(1, 0));
}

TEST_F(HotKeyRegistry, ACombinationIsRegisteredOnceAndItsIdentityIsKeyCodeAndFlagsAlone)
{
    int runs = 0;
    Receiver receiver;
    auto first = center().registerHotKey(counting(123, kCommand, runs));
    ASSERT_TRUE(first);
    EXPECT_EQ(center().registerHotKeyWithKeyCode(123, kCommand, &receiver, "hotkeyWithEvent", QVariant()), nullptr);
    EXPECT_EQ(center().registerHotKeyWithKeyCode(123, kCommand, HKHotKey::Task()), nullptr);
    EXPECT_FALSE(center().hasRegisteredHotKeyWithKeyCode(123, kCommand | ModifierFlag::Shift));
    {
        // An equal hot key (a shortcut field's value, say) comes back as it came: no
        // identifier, no registration, and dropping it leaves the member registered.
        auto equal = HKHotKey::hotKeyWithKeyCode(123, kCommand, nullptr);
        EXPECT_TRUE(first->isEqual(*equal));
        EXPECT_EQ(first->hash(), equal->hash());
        EXPECT_EQ((HKHotKeySet{first, equal}.size()), 1u);
        EXPECT_EQ(center().registerHotKey(equal), equal);
        EXPECT_EQ(equal->hotKeyID(), 0u);
        EXPECT_FALSE(equal->hotKeyRef());
    }
    EXPECT_TRUE(requestsOf(Request::Kind::Unregister).empty());
    EXPECT_EQ(center().registeredHotKeys(), HKHotKeySet{first});

    // The Function bit has no platform modifier: not equal, yet the same platform
    // combination, which the platform refuses.
    auto withFunction = counting(123, kCommand | ModifierFlag::Function, runs);
    EXPECT_FALSE(first->isEqual(*withFunction));
    EXPECT_EQ(center().registerHotKey(withFunction), nullptr);
    const auto asked = requestsOf(Request::Kind::Register);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].status, kHotKeyExists);
    EXPECT_TRUE(pressNow(123, kCommand));
    EXPECT_EQ(runs, 1);
}

TEST_F(HotKeyRegistry, PressAndReleaseReachTheSameActionAsKeyUpEventsToldApartByTheRepeatFlag)
{
    Receiver receiver;
    ASSERT_TRUE(center().registerHotKeyWithKeyCode(123, kCommand, &receiver, "hotkeyWithEvent", QVariant("object")));

    const std::uint64_t held = kCommand | ModifierFlag::Function | ModifierFlag::NumericPad;
    EXPECT_TRUE(platformHotKeys().press(123, held));
    EXPECT_TRUE(receiver.calls.empty()) << "events arrive through the run loop";
    clock().advance(250ms);
    EXPECT_TRUE(platformHotKeys().release(123, held));
    deliverPending();

    ASSERT_EQ(receiver.calls.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        const KeyEvent& event = receiver.calls[i].event;
        EXPECT_EQ(std::make_pair(receiver.calls[i].action, receiver.calls[i].object),
                  std::make_pair(QByteArray("hotkeyWithEvent"), QVariant("object")));
        EXPECT_EQ(event.description(), QStringLiteral("KeyEvent: type=KeyUp loc=(0,0) time=%1 flags=0xb00000 winNum=-1 "
                                                      "chars=\"\" unmodchars=\"\" repeat=%2 keyCode=123")
                                           .arg(event.timestamp, 0, 'f', 3).arg(i == 0));
        EXPECT_DOUBLE_EQ(event.timestamp, i * 0.25);
    }
}

TEST_F(HotKeyRegistry, InvocationPrefersTheTargetsActionThenTheTask)
{
    const struct {
        const char* what; bool withTarget; QByteArray action; bool withTask; bool targetGone;
        QByteArrayList expectedCalls; int expectedTaskRuns;
    } cases[] = {
        {"action and task", true, "hotkeyWithEvent", true, false, {"hotkeyWithEvent"}, 0},
        {"by-value action", true, "other", true, false, {"other"}, 0},
        {"unknown action", true, "missing", true, false, {}, 1},
        {"method of another shape", true, "notAnAction", true, false, {}, 1},
        {"no target", false, "hotkeyWithEvent", true, false, {}, 1},
        {"destroyed target", true, "hotkeyWithEvent", true, true, {}, 1},
        {"neither", true, "missing", false, false, {}, 0},
    };
    for (const auto& c : cases) {
        auto receiver = std::make_unique<Receiver>();
        int taskRuns = 0;
        auto hotKey = std::make_shared<HKHotKey>();
        hotKey->_setTarget(c.withTarget ? receiver.get() : nullptr);
        hotKey->_setAction(c.action);
        if (c.withTask)
            hotKey->_setTask([&taskRuns](const KeyEvent&) { ++taskRuns; });
        if (c.targetGone)
            receiver.reset();

        hotKey->invokeWithEvent(KeyEvent{});
        QByteArrayList calls;
        for (const auto& call : receiver ? receiver->calls : std::vector<Receiver::Call>{})
            calls << call.action;
        EXPECT_EQ(calls, c.expectedCalls) << c.what;
        EXPECT_EQ(taskRuns, c.expectedTaskRuns) << c.what;
    }
}

// Unregistration by target, action and combination, as the registry and the platform both
// see it afterwards.
struct UnregisterCase {
    const char* what;
    void (*unregister)(HKHotKeyCenter&, Receiver& first, Receiver& second);
    std::vector<int> remaining;
};

class Unregistration : public HotKeyRegistry, public ::testing::WithParamInterface<UnregisterCase> {};

TEST_P(Unregistration, RemovesExactlyTheNamedHotKeys)
{
    Receiver first, second;
    int unused = 0;
    ASSERT_TRUE(center().registerHotKeyWithKeyCode(123, kCommand, &first, "hotkeyWithEvent", QVariant()));
    ASSERT_TRUE(center().registerHotKeyWithKeyCode(124, kCommand, &first, "other", QVariant()));
    ASSERT_TRUE(center().registerHotKeyWithKeyCode(125, kCommand, &second, "hotkeyWithEvent", QVariant()));
    ASSERT_TRUE(center().registerHotKey(counting(126, kCommand, unused)));
    const HKHotKeySet before = center().registeredHotKeys();

    GetParam().unregister(center(), first, second);

    const auto remaining = GetParam().remaining;
    std::vector<int> registry, platform;
    for (const auto& hotKey : center().registeredHotKeys())
        registry.push_back(hotKey->keyCode());
    for (const auto& registration : platformHotKeys().registrations())
        platform.push_back(registration.keyCode);
    std::sort(registry.begin(), registry.end());
    EXPECT_EQ(registry, remaining);
    EXPECT_EQ(platform, remaining) << "the platform's registrations, oldest first";
    for (const auto& hotKey : before) {
        EXPECT_EQ(hotKey->hotKeyRef().has_value(), center().registeredHotKeys().count(hotKey) != 0);
        EXPECT_NE(hotKey->hotKeyID(), 0u) << "the identifier stays after unregistration";
    }
    EXPECT_EQ(requestsOf(Request::Kind::Unregister).size(), 4 - remaining.size());
}

using Center = HKHotKeyCenter;
using R = Receiver;
INSTANTIATE_TEST_SUITE_P(All, Unregistration, ::testing::Values(
    UnregisterCase{"by target", [](Center& c, R& a, R&) { c.unregisterHotKeysWithTarget(&a); }, {125, 126}},
    UnregisterCase{"by no target", [](Center& c, R&, R&) { c.unregisterHotKeysWithTarget(nullptr); },
                   {123, 124, 125, 126}},
    UnregisterCase{"by target and action", [](Center& c, R& a, R&) { c.unregisterHotKeysWithTarget(&a, "other"); },
                   {123, 125, 126}},
    UnregisterCase{"by target and another's action",
                   [](Center& c, R&, R& b) { c.unregisterHotKeysWithTarget(&b, "other"); }, {123, 124, 125, 126}},
    UnregisterCase{"by key code and flags", [](Center& c, R&, R&) { c.unregisterHotKeyWithKeyCode(126, kCommand); },
                   {123, 124, 125}},
    UnregisterCase{"by key code and other flags",
                   [](Center& c, R&, R&) { c.unregisterHotKeyWithKeyCode(126, kCommand | ModifierFlag::Function); },
                   {123, 124, 125, 126}},
    UnregisterCase{"all", [](Center& c, R&, R&) { c.unregisterAllHotKeys(); }, {}}));

TEST_F(HotKeyRegistry, UnregisteringAnEqualHotKeyCancelsTheRegisteredOnesPlatformRegistration)
{
    int registeredRuns = 0, equalRuns = 0;
    auto registered = center().registerHotKey(counting(37, kCommand, registeredRuns));
    ASSERT_TRUE(registered);
    const HotKeyRegistration handle = *registered->hotKeyRef();

    center().unregisterHotKey(counting(37, kCommand, equalRuns));

    const auto cancelled = requestsOf(Request::Kind::Unregister);
    ASSERT_EQ(cancelled.size(), 1u) << "the platform is asked exactly once";
    EXPECT_EQ(cancelled[0].registration, handle);
    EXPECT_FALSE(registered->hotKeyRef());
    EXPECT_TRUE(center().registeredHotKeys().empty());
    EXPECT_FALSE(platformHotKeys().press(37, kCommand)) << "nothing is left to deliver to";

    // The combination is free again, for the registry and the platform.
    ASSERT_EQ(center().registerHotKey(registered), registered);
    EXPECT_EQ(registered->hotKeyID(), 2u);
    EXPECT_TRUE(pressNow(37, kCommand));
    EXPECT_EQ(std::make_pair(registeredRuns, equalRuns), std::make_pair(1, 0));
}

TEST_F(HotKeyRegistry, AHotKeyMayUnregisterItselfWhileItRuns)
{
    int runs = 0;
    ASSERT_TRUE(center().registerHotKey(HKHotKey::hotKeyWithKeyCode(37, kCommand, [&runs](const KeyEvent&) {
        ++runs;
        HKHotKeyCenter::sharedHotKeyCenter()->unregisterHotKeyWithKeyCode(37, kCommand);
    })));  // the registry holds the only reference

    EXPECT_TRUE(pressNow(37, kCommand));
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(center().registeredHotKeys().empty());
    EXPECT_FALSE(platformHotKeys().release(37, kCommand));
}

TEST_F(HotKeyRegistry, AnIdentifierOfTwoHotKeysLogsAnErrorAndReachesOneAndAnUnknownOneNone)
{
    int leftRuns = 0, rightRuns = 0;
    auto left = center().registerHotKey(counting(123, kCommand, leftRuns));
    ASSERT_TRUE(left && center().registerHotKey(counting(124, kCommand, rightRuns)));

    const auto deliver = [this](HotKeyEventKind kind, HotKeyIdentifier identifier) {
        HotKeyPlatformEvent event;
        event.kind = kind;
        event.identifier = identifier;
        platformHotKeys().deliver(event);
    };
    for (std::uint32_t unknown : {0u, 3u, 99u})
        deliver(HotKeyEventKind::Pressed, {HKHotKeyCenter::kHotKeySignature, unknown});
    // The signature is not checked: the id alone finds the hot key.
    deliver(HotKeyEventKind::Released, {0x41424344, 1});
    deliverPending();
    EXPECT_EQ(std::make_pair(leftRuns, rightRuns), std::make_pair(1, 0));
    EXPECT_TRUE(logged(LogChannel::System).isEmpty());

    left->setHotKeyID(2);
    EXPECT_TRUE(pressNow(124, kCommand));
    EXPECT_EQ(logged(LogChannel::System), QStringList{"ERROR!"});
    EXPECT_EQ(leftRuns + rightRuns, 2) << "one of the two, once";
}

TEST_F(HotKeyRegistry, DescriptionNamesKeyFlagsAndWhatItInvokes)
{
    Receiver target;
    auto hotKey = center().registerHotKeyWithKeyCode(37, kCommand, &target, "hotkeyWithEvent", QVariant());
    ASSERT_TRUE(hotKey);
    const auto address = [](const void* p) { return "0x" + QString::number(reinterpret_cast<quintptr>(p), 16); };
    EXPECT_EQ(hotKey->description(),
              QStringLiteral("<HKHotKey: %1>\n\t(key: 37\n\tflags: (NSCommandKeyMask)\n\tinvokes: [<%2: %3> hotkeyWithEvent])")
                  .arg(address(hotKey.get()), QLatin1String(target.metaObject()->className()), address(&target)));

    auto task = HKHotKey::hotKeyWithKeyCode(
        96, ModifierFlag::Option | ModifierFlag::Shift | kCommand | ModifierFlag::Control | ModifierFlag::Function,
        [](const KeyEvent&) {});
    EXPECT_TRUE(task->description().endsWith(
        "\n\t(key: 96\n\tflags: (NSControlKeyMask | NSCommandKeyMask | NSShiftKeyMask | NSAlternateKeyMask)"
        "\n\tinvokes: (block))"));
    EXPECT_TRUE(HKHotKey::hotKeyWithKeyCode(0, 0, nullptr)->description().endsWith("flags: ()\n\tinvokes: (block))"));
}

TEST(HotKeyModifiers, EachFlagMapsByItselfAndTheRestIsDropped)
{
    const std::pair<std::uint64_t, std::uint32_t> cases[] = {
        {0, 0}, {ModifierFlag::Command, 0x100}, {ModifierFlag::Shift, 0x200}, {ModifierFlag::CapsLock, 0x400},
        {ModifierFlag::Option, 0x800}, {ModifierFlag::Control, 0x1000},
        {ModifierFlag::Function | ModifierFlag::NumericPad | 0xFFFF, 0}, {~std::uint64_t{0}, 0x1F00},
    };
    for (const auto& [cocoa, carbon] : cases)
        EXPECT_EQ(HKCarbonModifierFlagsFromCocoaModifiers(cocoa), carbon) << std::hex << cocoa;
}

}  // namespace

#include "HKHotKeyCenterTest.moc"
