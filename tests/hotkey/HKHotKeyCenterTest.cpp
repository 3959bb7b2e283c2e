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
constexpr std::uint32_t kCmdKey = HotKeyModifier::Command;

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
    Q_INVOKABLE void other(uvccam::platform::KeyEvent event, QVariant object)
    {
        calls.push_back({"other", event, object});
    }
    Q_INVOKABLE void notAnAction(int) { calls.push_back({"notAnAction", {}, {}}); }
};

class HotKeyRegistry : public SimulatedWorld {
protected:
    HKHotKeyCenter& center() { return *HKHotKeyCenter::sharedHotKeyCenter(); }
    HotKeyServiceSim& platformHotKeys() { return static_cast<HotKeyServiceSim&>(Platform::current().hotKeys()); }

    std::vector<Request> requestsOf(Request::Kind kind) { return platformHotKeys().requests(kind); }

    // Key codes of what the registry holds and of what the platform holds, sorted.
    static std::vector<int> keyCodes(const HKHotKeySet& set)
    {
        std::vector<int> codes;
        for (const auto& hotKey : set)
            codes.push_back(hotKey->keyCode());
        std::sort(codes.begin(), codes.end());
        return codes;
    }
    std::vector<int> platformKeyCodes()
    {
        std::vector<int> codes;
        for (const auto& registration : platformHotKeys().registrations())
            codes.push_back(registration.keyCode);
        std::sort(codes.begin(), codes.end());
        return codes;
    }

    // A hot key whose task counts its invocations.
    std::shared_ptr<HKHotKey> counting(std::uint16_t keyCode, std::uint64_t flags, int& count)
    {
        return HKHotKey::hotKeyWithKeyCode(keyCode, flags, [&count](const KeyEvent&) { ++count; });
    }
};

TEST_F(HotKeyRegistry, IdentifiersRunFromOneAndARefusalConsumesNone)
{
    int unused = 0;
    auto left = center().registerHotKey(counting(123, kCommand, unused));
    platformHotKeys().refuseNextRegistration();
    EXPECT_EQ(center().registerHotKey(counting(124, kCommand, unused)), nullptr);
    auto right = center().registerHotKey(counting(124, kCommand, unused));
    auto down = center().registerHotKey(counting(125, kCommand, unused));

    ASSERT_TRUE(left && right && down);
    EXPECT_EQ(left->hotKeyID(), 1u);
    EXPECT_EQ(right->hotKeyID(), 2u);
    EXPECT_EQ(down->hotKeyID(), 3u);
    const auto asked = requestsOf(Request::Kind::Register);
    ASSERT_EQ(asked.size(), 4u);
    const std::uint32_t ids[] = {1, 2, 2, 3};
    const HotKeyStatus statuses[] = {kHotKeySuccess, kHotKeyExists, kHotKeySuccess, kHotKeySuccess};
    for (std::size_t i = 0; i < asked.size(); ++i) {
        EXPECT_EQ(asked[i].identifier.signature, 0x68746B31u) << i;
        EXPECT_EQ(asked[i].identifier.id, ids[i]) << i;
        EXPECT_EQ(asked[i].modifiers, kCmdKey) << i;
        EXPECT_EQ(asked[i].status, statuses[i]) << i;
    }
    EXPECT_EQ(left->hotKeyRef(), std::optional<HotKeyRegistration>(asked[0].registration));
    EXPECT_EQ(keyCodes(center().registeredHotKeys()), (std::vector<int>{123, 124, 125}));

    // The registry and its two handlers are made once.
    EXPECT_EQ(HKHotKeyCenter::sharedHotKeyCenter(), &center());
    EXPECT_EQ(platformHotKeys().handlerCount(HotKeyEventKind::Pressed), 1u);
    EXPECT_EQ(platformHotKeys().handlerCount(HotKeyEventKind::Released), 1u);
}

TEST_F(HotKeyRegistry, IdentityIsKeyCodeAndFlagsAlone)
{
    int unused = 0;
    auto a = counting(123, kCommand, unused);
    auto b = HKHotKey::hotKeyWithKeyCode(123, kCommand, nullptr);
    EXPECT_TRUE(a->isEqual(*b));
    EXPECT_EQ(a->hash(), b->hash());
    EXPECT_EQ((HKHotKeySet{a, b}.size()), 1u);

    // The Function bit has no platform modifier: not equal, yet the same platform combination,
    // which the platform refuses the second time.
    auto withFunction = counting(123, kCommand | ModifierFlag::Function, unused);
    EXPECT_FALSE(a->isEqual(*withFunction));
    EXPECT_EQ((HKHotKeySet{a, withFunction}.size()), 2u);
    EXPECT_EQ(center().registerHotKey(a), a);
    EXPECT_EQ(center().registerHotKey(withFunction), nullptr);
    const auto asked = requestsOf(Request::Kind::Register);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].keyCode, asked[0].keyCode);
    EXPECT_EQ(asked[1].modifiers, asked[0].modifiers);
}

TEST_F(HotKeyRegistry, ACombinationIsRegisteredOnce)
{
    Receiver receiver;
    auto first = center().registerHotKeyWithKeyCode(123, kCommand, &receiver, "hotkeyWithEvent", QVariant());
    EXPECT_TRUE(first);
    EXPECT_EQ(center().registerHotKeyWithKeyCode(123, kCommand, &receiver, "hotkeyWithEvent", QVariant()), nullptr);
    EXPECT_EQ(center().registerHotKeyWithKeyCode(123, kCommand, HKHotKey::Task()), nullptr);
    EXPECT_TRUE(center().hasRegisteredHotKeyWithKeyCode(123, kCommand));
    EXPECT_FALSE(center().hasRegisteredHotKeyWithKeyCode(123, kCommand | ModifierFlag::Shift));

    // registerHotKey gives an equal hot key back as it came: no identifier, no registration.
    auto equal = HKHotKey::hotKeyWithKeyCode(123, kCommand, nullptr);
    EXPECT_EQ(center().registerHotKey(equal), equal);
    EXPECT_EQ(equal->hotKeyID(), 0u);
    EXPECT_FALSE(equal->hotKeyRef());
    EXPECT_EQ(requestsOf(Request::Kind::Register).size(), 1u);
    EXPECT_EQ(center().registeredHotKeys().size(), 1u);
    EXPECT_EQ(*center().registeredHotKeys().begin(), first);
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
    for (std::size_t i = 0; i < 2; ++i) {
        const KeyEvent& event = receiver.calls[i].event;
        EXPECT_EQ(receiver.calls[i].action, "hotkeyWithEvent");
        EXPECT_EQ(receiver.calls[i].object, QVariant("object"));
        EXPECT_EQ(event.type, KeyEventType::KeyUp);
        EXPECT_EQ(event.keyCode, 123);
        EXPECT_EQ(event.modifierFlags, held);
        EXPECT_EQ(event.windowNumber, -1);
        EXPECT_TRUE(event.characters.isEmpty());
        EXPECT_TRUE(event.charactersIgnoringModifiers.isEmpty());
    }
    EXPECT_TRUE(receiver.calls[0].event.isARepeat);
    EXPECT_FALSE(receiver.calls[1].event.isARepeat);
    EXPECT_DOUBLE_EQ(receiver.calls[0].event.timestamp, 0.0);
    EXPECT_DOUBLE_EQ(receiver.calls[1].event.timestamp, 0.25);
}

// Who is invoked: the target's action when it has one of the right shape, else the task.
struct InvocationCase {
    const char* what;
    bool withTarget;
    QByteArray action;
    bool withTask;
    bool targetGone;
    QByteArrayList expectedCalls;
    int expectedTaskRuns;
};

class Invocation : public HotKeyRegistry, public ::testing::WithParamInterface<InvocationCase> {};

TEST_P(Invocation, PrefersTheTargetsActionThenTheTask)
{
    const InvocationCase& c = GetParam();
    auto receiver = std::make_unique<Receiver>();
    int taskRuns = 0;
    auto hotKey = std::make_shared<HKHotKey>();
    hotKey->_setKeyCode(37);
    if (c.withTarget)
        hotKey->_setTarget(receiver.get());
    hotKey->_setAction(c.action);
    if (c.withTask)
        hotKey->_setTask([&taskRuns](const KeyEvent&) { ++taskRuns; });
    if (c.targetGone)
        receiver.reset();

    hotKey->invokeWithEvent(KeyEvent{});
    QByteArrayList calls;
    if (receiver) {
        for (const auto& call : receiver->calls)
            calls << call.action;
    }
    EXPECT_EQ(calls, c.expectedCalls);
    EXPECT_EQ(taskRuns, c.expectedTaskRuns);
}

INSTANTIATE_TEST_SUITE_P(All, Invocation, ::testing::Values(
    InvocationCase{"action and task", true, "hotkeyWithEvent", true, false, {"hotkeyWithEvent"}, 0},
    InvocationCase{"by-value action", true, "other", true, false, {"other"}, 0},
    InvocationCase{"unknown action", true, "missing", true, false, {}, 1},
    InvocationCase{"method of another shape", true, "notAnAction", true, false, {}, 1},
    InvocationCase{"no action", true, "", true, false, {}, 1},
    InvocationCase{"no target", false, "hotkeyWithEvent", true, false, {}, 1},
    InvocationCase{"destroyed target", true, "hotkeyWithEvent", true, true, {}, 1},
    InvocationCase{"neither", true, "missing", false, false, {}, 0}));

// Unregistration by target, action, combination and predicate, as the registry and the
// platform both see it afterwards.
struct UnregisterCase {
    const char* what;
    void (*unregister)(HKHotKeyCenter&, Receiver& first, Receiver& second);
    std::vector<int> remaining;
};

class Unregistration : public HotKeyRegistry, public ::testing::WithParamInterface<UnregisterCase> {};

TEST_P(Unregistration, RemovesExactlyTheNamedHotKeys)
{
    Receiver first;
    Receiver second;
    int unused = 0;
    ASSERT_TRUE(center().registerHotKeyWithKeyCode(123, kCommand, &first, "hotkeyWithEvent", QVariant()));
    ASSERT_TRUE(center().registerHotKeyWithKeyCode(124, kCommand, &first, "other", QVariant()));
    ASSERT_TRUE(center().registerHotKeyWithKeyCode(125, kCommand, &second, "hotkeyWithEvent", QVariant()));
    ASSERT_TRUE(center().registerHotKey(counting(126, kCommand, unused)));
    const HKHotKeySet before = center().registeredHotKeys();

    GetParam().unregister(center(), first, second);

    EXPECT_EQ(keyCodes(center().registeredHotKeys()), GetParam().remaining);
    EXPECT_EQ(platformKeyCodes(), GetParam().remaining);
    for (const auto& hotKey : before) {
        const bool kept = center().registeredHotKeys().count(hotKey) != 0;
        EXPECT_EQ(hotKey->hotKeyRef().has_value(), kept) << hotKey->keyCode();
        EXPECT_NE(hotKey->hotKeyID(), 0u) << "the identifier stays after unregistration";
    }
    EXPECT_EQ(requestsOf(Request::Kind::Unregister).size(), 4 - GetParam().remaining.size());
}

INSTANTIATE_TEST_SUITE_P(All, Unregistration, ::testing::Values(
    UnregisterCase{"by target", [](HKHotKeyCenter& c, Receiver& a, Receiver&) { c.unregisterHotKeysWithTarget(&a); },
                   {125, 126}},
    UnregisterCase{"by another object of the same class",
                   [](HKHotKeyCenter& c, Receiver&, Receiver&) { Receiver stranger; c.unregisterHotKeysWithTarget(&stranger); },
                   {123, 124, 125, 126}},
    UnregisterCase{"by no target", [](HKHotKeyCenter& c, Receiver&, Receiver&) { c.unregisterHotKeysWithTarget(nullptr); },
                   {123, 124, 125, 126}},
    UnregisterCase{"by target and action",
                   [](HKHotKeyCenter& c, Receiver& a, Receiver&) { c.unregisterHotKeysWithTarget(&a, "other"); },
                   {123, 125, 126}},
    UnregisterCase{"by target and another's action",
                   [](HKHotKeyCenter& c, Receiver&, Receiver& b) { c.unregisterHotKeysWithTarget(&b, "other"); },
                   {123, 124, 125, 126}},
    UnregisterCase{"by key code and flags",
                   [](HKHotKeyCenter& c, Receiver&, Receiver&) { c.unregisterHotKeyWithKeyCode(126, kCommand); },
                   {123, 124, 125}},
    UnregisterCase{"by key code and other flags",
                   [](HKHotKeyCenter& c, Receiver&, Receiver&) {
                       c.unregisterHotKeyWithKeyCode(126, kCommand | ModifierFlag::Function);
                   },
                   {123, 124, 125, 126}},
    UnregisterCase{"by predicate",
                   [](HKHotKeyCenter& c, Receiver&, Receiver&) {
                       c.unregisterHotKeysMatching([](const HKHotKey& k) { return k.keyCode() % 2 == 0; });
                   },
                   {123, 125}},
    UnregisterCase{"all", [](HKHotKeyCenter& c, Receiver&, Receiver&) { c.unregisterAllHotKeys(); }, {}}));

TEST_F(HotKeyRegistry, UnregisteringAnEqualHotKeyCancelsTheRegisteredOnesPlatformRegistration)
{
    int registeredRuns = 0;
    int equalRuns = 0;
    auto registered = center().registerHotKey(counting(37, kCommand, registeredRuns));
    ASSERT_TRUE(registered);
    const HotKeyRegistration handle = *registered->hotKeyRef();
    auto equal = counting(37, kCommand, equalRuns);

    center().unregisterHotKey(equal);

    const auto cancelled = requestsOf(Request::Kind::Unregister);
    ASSERT_EQ(cancelled.size(), 1u) << "the platform is asked exactly once";
    EXPECT_EQ(cancelled[0].registration, handle);
    EXPECT_EQ(cancelled[0].status, kHotKeySuccess);
    EXPECT_FALSE(registered->hotKeyRef());
    EXPECT_TRUE(center().registeredHotKeys().empty());
    EXPECT_TRUE(platformHotKeys().registrations().empty());
    EXPECT_FALSE(platformHotKeys().press(37, kCommand)) << "nothing is left to deliver to";

    // The combination is free again, for the registry and the platform.
    ASSERT_EQ(center().registerHotKey(registered), registered);
    EXPECT_EQ(registered->hotKeyID(), 2u);
    EXPECT_TRUE(platformHotKeys().press(37, kCommand));
    deliverPending();
    EXPECT_EQ(registeredRuns, 1);
    EXPECT_EQ(equalRuns, 0);
}

TEST_F(HotKeyRegistry, DroppingACopyOfARegisteredCombinationLeavesItRegistered)
{
    int runs = 0;
    auto registered = center().registerHotKey(counting(37, kCommand, runs));
    ASSERT_TRUE(registered);
    {
        // A shortcut field's value, say, made and replaced.
        auto copy = HKHotKey::hotKeyWithKeyCode(37, kCommand, nullptr);
        EXPECT_EQ(center().registerHotKey(copy), copy);
    }
    EXPECT_TRUE(requestsOf(Request::Kind::Unregister).empty());
    EXPECT_EQ(center().registeredHotKeys().size(), 1u);
    EXPECT_TRUE(platformHotKeys().press(37, kCommand));
    deliverPending();
    EXPECT_EQ(runs, 1);
}

TEST_F(HotKeyRegistry, AHotKeyMayUnregisterItselfWhileItRuns)
{
    int runs = 0;
    std::shared_ptr<HKHotKey> hotKey = HKHotKey::hotKeyWithKeyCode(37, kCommand, [&runs](const KeyEvent&) {
        ++runs;
        HKHotKeyCenter::sharedHotKeyCenter()->unregisterHotKeyWithKeyCode(37, kCommand);
    });
    ASSERT_TRUE(center().registerHotKey(hotKey));
    hotKey.reset();  // the registry holds the only reference now

    EXPECT_TRUE(platformHotKeys().press(37, kCommand));
    deliverPending();
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(center().registeredHotKeys().empty());
    EXPECT_FALSE(platformHotKeys().release(37, kCommand));
}

TEST_F(HotKeyRegistry, AnIdentifierOfTwoHotKeysLogsAnErrorAndReachesOneAndAnUnknownOneNone)
{
    int leftRuns = 0;
    int rightRuns = 0;
    auto left = center().registerHotKey(counting(123, kCommand, leftRuns));
    auto right = center().registerHotKey(counting(124, kCommand, rightRuns));
    ASSERT_TRUE(left && right);

    for (std::uint32_t unknown : {0u, 3u, 99u}) {
        HotKeyPlatformEvent event;
        event.identifier = {HKHotKeyCenter::kHotKeySignature, unknown};
        platformHotKeys().deliver(event);
    }
    // The signature is not checked: the id alone finds the hot key.
    HotKeyPlatformEvent foreignSignature;
    foreignSignature.kind = HotKeyEventKind::Released;
    foreignSignature.identifier = {0x41424344, 1};
    platformHotKeys().deliver(foreignSignature);
    deliverPending();
    EXPECT_EQ(leftRuns, 1);
    EXPECT_EQ(rightRuns, 0);
    EXPECT_TRUE(logged(LogChannel::System).isEmpty());

    left->setHotKeyID(2);
    EXPECT_TRUE(platformHotKeys().press(124, kCommand));
    deliverPending();
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
    const struct {
        std::uint64_t cocoa;
        std::uint32_t carbon;
    } cases[] = {
        {0, 0},
        {ModifierFlag::Command, 0x100},
        {ModifierFlag::Shift, 0x200},
        {ModifierFlag::CapsLock, 0x400},
        {ModifierFlag::Option, 0x800},
        {ModifierFlag::Control, 0x1000},
        {ModifierFlag::Function | ModifierFlag::NumericPad | 0xFFFF, 0},
        {~std::uint64_t{0}, 0x1F00},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HKCarbonModifierFlagsFromCocoaModifiers(c.cocoa), c.carbon) << std::hex << c.cocoa;
}

TEST_F(HotKeyRegistry, DiscardingTheRegistryCancelsItsRegistrationsAndSilencesItsHandlers)
{
    int runs = 0;
    ASSERT_TRUE(center().registerHotKey(counting(37, kCommand, runs)));
    HKHotKeyCenter::discardSharedHotKeyCenter();
    EXPECT_TRUE(platformHotKeys().registrations().empty());

    // A new registry on the same platform starts again and is reached once per event.
    auto again = center().registerHotKey(counting(37, kCommand, runs));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->hotKeyID(), 1u);
    EXPECT_EQ(platformHotKeys().handlerCount(HotKeyEventKind::Pressed), 2u);
    EXPECT_TRUE(platformHotKeys().press(37, kCommand));
    deliverPending();
    EXPECT_EQ(runs, 1);
}

}  // namespace

#include "HKHotKeyCenterTest.moc"
