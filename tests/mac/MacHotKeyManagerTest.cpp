// The global hot keys through the public interface on the simulator: what the platform is
// asked to register, and the key values the host receives for each press, repeat and release.
#include "mac/MacHotKeyManager.h"

#include "UVCCamSimulation.h"
#include "hotkey/HKHotKeyCenter.h"
#include "mac/MacUVCCam.h"
#include "platform/Platform.h"
#include "platform/sim/HotKeyServiceSim.h"
#include "support/SimulatedWorld.h"

#include <chrono>
#include <memory>
#include <utility>
#include <vector>

namespace {

using namespace uvccam::platform;
using namespace std::chrono_literals;
using uvccam::testing::SimulatedWorld;
using Request = HotKeyServiceSim::Request;

constexpr std::uint64_t kCommand = ModifierFlag::Command;
constexpr std::uint64_t kOption = ModifierFlag::Option;
constexpr int kControl = 0x01000021;
constexpr int kAlt = 0x01000023;

// Each combination, in the order it is registered, and the key the host receives for it
// after Control (for Command) or Alt (for Option).
struct Shortcut {
    std::uint16_t keyCode;
    std::uint64_t flags;
    int key;
    bool repeats;

    std::uint32_t platformModifiers() const { return flags == kCommand ? 0x100 : 0x800; }
    int modifierKey() const { return flags == kCommand ? kControl : kAlt; }
};

constexpr Shortcut kShortcuts[29] = {
    {123, kCommand, 0x01000012, true}, {124, kCommand, 0x01000014, true}, {125, kCommand, 0x01000015, true},
    {126, kCommand, 0x01000013, true}, {37, kCommand, 76, false}, {69, kCommand, 43, true}, {78, kCommand, 45, true},
    {29, kOption, 48, false}, {18, kOption, 49, false}, {19, kOption, 50, false}, {20, kOption, 51, false},
    {21, kOption, 52, false}, {23, kOption, 53, false}, {22, kOption, 54, false}, {26, kOption, 55, false},
    {28, kOption, 56, false}, {25, kOption, 57, false}, {24, kCommand, 43, true}, {27, kCommand, 45, true},
    {82, kOption, 48, false}, {83, kOption, 49, false}, {84, kOption, 50, false}, {85, kOption, 51, false},
    {86, kOption, 52, false}, {87, kOption, 53, false}, {88, kOption, 54, false}, {89, kOption, 55, false},
    {91, kOption, 56, false}, {92, kOption, 57, false},
};

// A key value the host received and the virtual time it arrived, in milliseconds.
using Received = std::pair<int, long long>;

class GlobalHotKeys : public SimulatedWorld {
protected:
    GlobalHotKeys() : camera(acquireUVCCam())
    {
        QObject::connect(qobject_cast<MacUVCCam*>(camera.get()), &MacUVCCam::keyPressed, [this](int key, bool pressed) {
            EXPECT_TRUE(pressed) << "the host hears key presses only";
            received.emplace_back(key, std::chrono::duration_cast<std::chrono::milliseconds>(clock().now()).count());
        });
    }

    HotKeyServiceSim& platformHotKeys() { return static_cast<HotKeyServiceSim&>(Platform::current().hotKeys()); }

    std::vector<Request> requestsOf(Request::Kind kind) { return platformHotKeys().requests(kind); }

    // The pair a shortcut reports, at each of the given times.
    static std::vector<Received> pairsAt(int modifierKey, int key, std::initializer_list<long long> times)
    {
        std::vector<Received> pairs;
        for (long long at : times) {
            pairs.emplace_back(modifierKey, at);
            pairs.emplace_back(key, at);
        }
        return pairs;
    }

    std::unique_ptr<UVCCam> camera;
    std::vector<Received> received;
};

TEST_F(GlobalHotKeys, NothingIsRegisteredBeforeTheKeyboardConnectsAndEachEventIsLoggedAsItCame)
{
    EXPECT_FALSE(uvccam::sim::pressHotKey(20, kOption, 0.1));
    camera->setKeyboardConnected(true);
    EXPECT_TRUE(platformHotKeys().press(20, kOption));
    clock().advance(1s);
    EXPECT_EQ(received, pairsAt(kAlt, 51, {0}));
    EXPECT_EQ(logged(LogChannel::System),
              (QStringList{"Registered hotkey!",
                           "KeyEvent: type=KeyUp loc=(0,0) time=0.000 flags=0x80000 winNum=-1 chars=\"\" "
                           "unmodchars=\"\" repeat=1 keyCode=20"}));
}

TEST_F(GlobalHotKeys, ConnectingTheKeyboardRegistersTheTwentyNineInOrderAndDisconnectingUnregistersThem)
{
    camera->setKeyboardConnected(true);
    const auto registered = platformHotKeys().registrations();
    ASSERT_EQ(registered.size(), 29u);
    for (std::size_t i = 0; i < 29; ++i) {
        EXPECT_EQ(registered[i].keyCode, kShortcuts[i].keyCode) << i;
        EXPECT_EQ(registered[i].modifiers, kShortcuts[i].platformModifiers()) << i;
        EXPECT_EQ(registered[i].identifier.id, i + 1) << i;
    }
    EXPECT_EQ(logged(LogChannel::System), QStringList{"Registered hotkey!"});

    camera->setKeyboardConnected(false);

    const auto cancelled = requestsOf(Request::Kind::Unregister);
    ASSERT_EQ(cancelled.size(), 29u);
    for (std::size_t i = 0; i < 29; ++i)
        EXPECT_EQ(cancelled[i].registration, registered[i].handle) << i;
    EXPECT_TRUE(platformHotKeys().registrations().empty());
    EXPECT_TRUE(HKHotKeyCenter::sharedHotKeyCenter()->registeredHotKeys().empty());
    EXPECT_FALSE(uvccam::sim::pressHotKey(37, kCommand, 0.1));

    // Once more changes nothing: the registry asks the platform for nothing it does not hold.
    camera->setKeyboardConnected(false);
    EXPECT_EQ(requestsOf(Request::Kind::Unregister).size(), 29u);

    // Connecting again registers all again, under new identifiers.
    camera->setKeyboardConnected(true);
    EXPECT_EQ(logged(LogChannel::System), (QStringList{"Registered hotkey!", "Registered hotkey!"}));
    const auto asked = requestsOf(Request::Kind::Register);
    ASSERT_EQ(asked.size(), 58u);
    EXPECT_EQ(asked[29].keyCode, 123);
    EXPECT_EQ(asked[29].identifier.id, 30u) << "identifiers are never given twice";
    EXPECT_EQ(platformHotKeys().registrations().size(), 29u);
    EXPECT_TRUE(uvccam::sim::pressHotKey(92, kOption, 0.1));
    clock().advance(1s);
    EXPECT_EQ(received, pairsAt(kAlt, 57, {0}));
}

class EachShortcut : public GlobalHotKeys, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(EachShortcut, ReportsItsModifierThenItsKeyAndRepeatsOnlyIfItShould)
{
    const Shortcut& s = kShortcuts[GetParam()];
    camera->setKeyboardConnected(true);
    EXPECT_TRUE(platformHotKeys().press(s.keyCode, s.flags));
    clock().advance(250ms);
    EXPECT_TRUE(platformHotKeys().release(s.keyCode, s.flags));
    clock().advance(1s);

    // The ticks of the repeat timer report the held key only, and the release ends them.
    EXPECT_EQ(received, s.repeats ? pairsAt(s.modifierKey(), s.key, {0, 100, 200}) : pairsAt(s.modifierKey(), s.key, {0}));
    EXPECT_FALSE(MacHotKeyManager::sharedInstance()->keyTimer());
}

INSTANTIATE_TEST_SUITE_P(All, EachShortcut, ::testing::Range<std::size_t>(0, 29),
                         [](const ::testing::TestParamInfo<std::size_t>& param) {
                             return "KeyCode" + std::to_string(kShortcuts[param.param].keyCode);
                         });

TEST_F(GlobalHotKeys, OneTimerServesAllKeysAndAnyReleaseOrDisconnectingStopsIt)
{
    camera->setKeyboardConnected(true);
    platformHotKeys().press(123, kCommand);
    clock().advance(50ms);
    platformHotKeys().press(126, kCommand);
    clock().advance(70ms);
    platformHotKeys().release(123, kCommand);
    clock().advance(1s);

    EXPECT_EQ(received, (std::vector<Received>{{kControl, 0}, {0x01000012, 0}, {kControl, 50}, {0x01000013, 50}}))
        << "the second press replaced the first timer; the first release ended the second";

    // Disconnecting while a key is held: its release can no longer arrive, so the
    // repetition ends with the connection.
    received.clear();
    platformHotKeys().press(124, kCommand);
    clock().advance(150ms);
    camera->setKeyboardConnected(false);
    clock().advance(3s);
    EXPECT_EQ(received, pairsAt(kControl, 0x01000014, {1120, 1220}));
    EXPECT_FALSE(MacHotKeyManager::sharedInstance()->keyTimer());
}

TEST_F(GlobalHotKeys, ARefusalEndsTheRunAndKeepsTheEarlierCombinations)
{
    // Option+3, the eleventh, belongs to another application.
    platformHotKeys().takeByAnotherApplication(20, HotKeyModifier::Option);
    camera->setKeyboardConnected(true);
    EXPECT_EQ(logged(LogChannel::System), QStringList{"Unable to register hotkey"});
    EXPECT_EQ(requestsOf(Request::Kind::Register).size(), 11u);
    EXPECT_EQ(platformHotKeys().registrations().size(), 10u);

    // Connecting again is refused at the first combination, already held, before the
    // platform is asked.
    camera->setKeyboardConnected(true);
    EXPECT_EQ(logged(LogChannel::System), QStringList({"Unable to register hotkey", "Unable to register hotkey"}));
    EXPECT_EQ(requestsOf(Request::Kind::Register).size(), 11u);

    EXPECT_FALSE(uvccam::sim::pressHotKey(21, kOption, 0.1)) << "after the refusal nothing was registered";
    EXPECT_TRUE(uvccam::sim::pressHotKey(18, kOption, 0.1));
    clock().advance(1s);
    EXPECT_EQ(received, pairsAt(kAlt, 49, {0})) << "one hot key per combination, reported once";
}

TEST_F(GlobalHotKeys, ADiscardedManagerLeavesNoTimerBehind)
{
    camera->setKeyboardConnected(true);
    platformHotKeys().press(124, kCommand);
    deliverPending();
    ASSERT_TRUE(MacHotKeyManager::sharedInstance()->keyTimer());
    const std::size_t pendingWithTimer = clock().pendingCount();

    MacHotKeyManager::discardSharedInstance();
    EXPECT_EQ(clock().pendingCount(), pendingWithTimer - 1);
    clock().advance(1s);
    EXPECT_EQ(received, pairsAt(kControl, 0x01000014, {0}));
}

}  // namespace
