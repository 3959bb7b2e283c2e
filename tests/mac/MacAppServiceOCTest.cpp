// The application services on the simulated session: hiding and showing, the login item, the processor load.
#include "mac/MacAppServiceOC.h"

#include "platform/Platform.h"
#include "platform/sim/LoginItemsServiceSim.h"
#include "platform/sim/ProcessServiceSim.h"
#include "platform/sim/TaskInfoServiceSim.h"
#include "support/SimulatedWorld.h"

#include <cmath>
#include <ostream>
#include <vector>

namespace uvccam::platform {
// Failures name the process rather than dumping its bytes.
void PrintTo(const ProcessSerialNumber& process, std::ostream* out)
{
    *out << "{" << process.high << ", 0x" << std::hex << process.low << std::dec << "}";
}
}  // namespace uvccam::platform

namespace {

using namespace uvccam::platform;
using uvccam::testing::SimulatedWorld;
using Call = ProcessServiceSim::Call;

constexpr ProcessSerialNumber kOwn = ProcessServiceSim::kOwnProcess;
constexpr ProcessSerialNumber kDesktop = ProcessServiceSim::kDesktopProcess;
constexpr ProcessSerialNumber kEditor{0, 0x2001};
const QString kHideOnLaunch = QStringLiteral("com.apple.loginitem.HideOnLaunch");
const QUrl kApplication = QUrl::fromLocalFile(QStringLiteral("/Applications/Vantora.app"));

class AppService : public SimulatedWorld {
protected:
    ProcessServiceSim& processes() { return dynamic_cast<ProcessServiceSim&>(Platform::current().process()); }
    LoginItemsServiceSim& loginItems()
    {
        return dynamic_cast<LoginItemsServiceSim&>(Platform::current().loginItems());
    }
    TaskInfoServiceSim& task() { return dynamic_cast<TaskInfoServiceSim&>(Platform::current().taskInfo()); }

    MacAppServiceOC service;
};

// ---- Hiding and showing ----

using HideShow = AppService;

TEST_F(HideShow, HidingTheFrontApplicationAndShowingItBringsItBack)
{
    service.init();
    EXPECT_EQ(service.hideShowWindowFromDock(false), kProcessSuccess);
    EXPECT_EQ(service.rememberedProcess(), kOwn);
    EXPECT_FALSE(processes().isVisible(kOwn));
    EXPECT_EQ(processes().front(), kDesktop);

    EXPECT_EQ(service.hideShowWindowFromDock(true), kProcessSuccess);
    EXPECT_TRUE(processes().isVisible(kOwn));
    EXPECT_EQ(processes().front(), kOwn);
    const auto& calls = processes().requests();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].call, Call::FrontProcess);
    EXPECT_EQ(calls[1].call, Call::ShowHideProcess);
    EXPECT_EQ(calls[1].process, kOwn);
    EXPECT_FALSE(calls[1].visible);
    EXPECT_EQ(calls[2].call, Call::ShowHideProcess);
    EXPECT_EQ(calls[2].process, kOwn);
    EXPECT_TRUE(calls[2].visible);
    EXPECT_EQ(calls[3].call, Call::SetFrontProcess);
    EXPECT_EQ(calls[3].process, kOwn);
}

TEST_F(HideShow, HidingTwiceRemembersWhatWasInFrontTheSecondTime)
{
    processes().launch(kEditor);
    service.hideShowWindowFromDock(false);
    processes().activate(kEditor);  // the user switches to another application meanwhile
    service.hideShowWindowFromDock(false);
    EXPECT_EQ(service.rememberedProcess(), kEditor);
    EXPECT_FALSE(processes().isVisible(kEditor));

    EXPECT_EQ(service.hideShowWindowFromDock(true), kProcessSuccess);
    EXPECT_EQ(processes().front(), kEditor);
    // The host application stays hidden: it was not in front at the second hide.
    EXPECT_FALSE(processes().isVisible(kOwn));
}

TEST_F(HideShow, ShowingBeforeAnythingWasHiddenAsksForNoProcessAndReturnsTheRefusal)
{
    EXPECT_EQ(service.hideShowWindowFromDock(true), kProcessNotFound);
    const auto& calls = processes().requests();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].call, Call::ShowHideProcess);
    EXPECT_EQ(calls[0].process, ProcessSerialNumber{});
    EXPECT_EQ(calls[1].call, Call::SetFrontProcess);
    EXPECT_EQ(calls[1].process, ProcessSerialNumber{});
    EXPECT_EQ(calls[1].status, kProcessNotFound);
    EXPECT_EQ(processes().front(), kOwn);
}

TEST_F(HideShow, WithNothingInFrontNothingIsHiddenAndAnEarlierHideIsForgotten)
{
    service.hideShowWindowFromDock(false);
    processes().hideAll();
    EXPECT_EQ(service.hideShowWindowFromDock(false), kProcessNotFound);
    EXPECT_EQ(service.rememberedProcess(), ProcessSerialNumber{});
    EXPECT_EQ(processes().requests().size(), 3u);  // no hide request after the failed lookup

    // Showing now must not bring back the application hidden long before.
    EXPECT_EQ(service.hideShowWindowFromDock(true), kProcessNotFound);
    EXPECT_FALSE(processes().isVisible(kOwn));
}

// ---- Login item ----

using LaunchOnLogin = AppService;

TEST_F(LaunchOnLogin, EnablingTwiceAddsTwoShownItemsAtTheEndAndDisablingRemovesBoth)
{
    const QUrl other = QUrl::fromLocalFile(QStringLiteral("/Applications/Mail.app"));
    loginItems().addItem(other);
    service.setLaunchOnLogin(true);
    service.setLaunchOnLogin(true);

    EXPECT_EQ(loginItems().urls(), QList<QUrl>({other, kApplication, kApplication}));
    ASSERT_EQ(loginItems().insertions().size(), 2u);
    for (const auto& insertion : loginItems().insertions()) {
        EXPECT_EQ(insertion.filePath, QStringLiteral("/Applications/Vantora.app"));
        ASSERT_EQ(insertion.properties.keys(), QStringList({kHideOnLaunch}));
        // A bool, not a number that compares equal to false.
        EXPECT_EQ(insertion.properties.value(kHideOnLaunch).userType(), QMetaType::Bool);
        EXPECT_FALSE(insertion.properties.value(kHideOnLaunch).toBool());
    }

    service.setLaunchOnLogin(false);
    EXPECT_EQ(loginItems().urls(), QList<QUrl>({other}));
    EXPECT_EQ(loginItems().removals().size(), 2u);
}

TEST_F(LaunchOnLogin, DisablingKeepsOtherPathsAndSkipsItemsThatCannotBeResolved)
{
    const QList<QUrl> kept = {
        QUrl::fromLocalFile(QStringLiteral("/Users/ana/Applications/Vantora.app")),
        QUrl::fromLocalFile(QStringLiteral("/Applications/vantora.app")),
        QUrl::fromLocalFile(QStringLiteral("/Applications/Vantora.app/Contents")),
    };
    loginItems().addItem(kApplication, false);  // moved away since: no longer resolves
    for (const QUrl& url : kept)
        loginItems().addItem(url);
    loginItems().addItem(kApplication);

    service.setLaunchOnLogin(false);
    EXPECT_EQ(loginItems().urls(), QList<QUrl>({kApplication}) + kept);
    ASSERT_EQ(loginItems().removals().size(), 1u);
    EXPECT_EQ(loginItems().removals()[0].status, kLoginItemSuccess);
}

TEST_F(LaunchOnLogin, AListThatRefusesTheItemIsLeftAsItWas)
{
    loginItems().refuseInsertions();
    service.setLaunchOnLogin(true);
    EXPECT_EQ(loginItems().insertions().size(), 1u);
    EXPECT_TRUE(loginItems().urls().isEmpty());
    service.setLaunchOnLogin(false);
    EXPECT_TRUE(loginItems().removals().empty());
}

// ---- Processor load ----

class CpuLoad : public AppService {
protected:
    std::vector<ThreadHandle> threads(std::initializer_list<std::pair<std::int32_t, std::int32_t>> usageAndFlags)
    {
        task().removeAllThreads();
        std::vector<ThreadHandle> handles;
        for (const auto& [usage, flags] : usageAndFlags)
            handles.push_back(task().addThread(usage, flags));
        return handles;
    }
    void TearDown() override { EXPECT_EQ(task().outstandingLists(), 0) << "a thread list was not given back"; }
};

TEST_F(CpuLoad, SumsTheNonIdleThreadsInPercentOfOneProcessor)
{
    const struct {
        const char* name;
        std::initializer_list<std::pair<std::int32_t, std::int32_t>> threads;
        float load;
    } cases[] = {
        {"two busy threads", {{1000, 0}, {1000, 0}}, 200.0f},
        {"idle threads", {{1000, TH_FLAGS_IDLE}, {500, TH_FLAGS_IDLE | 0x1}}, 0.0f},
        {"a mix", {{250, 0}, {1000, TH_FLAGS_IDLE}, {500, 0x1}, {0, 0}}, 75.0f},
        {"no threads", {}, 0.0f},
        // Single-precision division, double-precision scaling and sum, narrowed per thread:
        // only this order gives the float just below 1, and only with the threads in order.
        {"rounding order", {{1, 0}, {9, 0}}, std::nextafter(1.0f, 0.0f)},
        {"rounding order reversed", {{9, 0}, {1, 0}}, 1.0f},
    };
    for (const auto& c : cases) {
        threads(c.threads);
        EXPECT_EQ(service.getCPULoading(), c.load) << c.name;
    }
    EXPECT_EQ(task().listsHandedOut(), 6);
}

TEST_F(CpuLoad, EachUnreadablePieceGivesMinusOne)
{
    const ThreadHandle second = threads({{1000, 0}, {400, 0}, {300, 0}})[1];

    task().failTaskBasicInfo();
    EXPECT_EQ(service.getCPULoading(), -1.0f);
    EXPECT_EQ(task().listsHandedOut(), 0);
    task().failTaskBasicInfo(false);

    task().failTaskThreads();
    EXPECT_EQ(service.getCPULoading(), -1.0f);
    task().failTaskThreads(false);

    // A thread that cannot be read ends the reading at once, and the list still goes back.
    task().failThreadBasicInfo(second);
    EXPECT_EQ(service.getCPULoading(), -1.0f);
    ASSERT_EQ(task().threadsAsked().size(), 2u);
    EXPECT_EQ(task().threadsAsked()[1], second);
    EXPECT_EQ(task().listsHandedOut(), 1);
    task().failThreadBasicInfo(second, false);

    EXPECT_EQ(service.getCPULoading(), 170.0f);
}

using CpuLoadDeathTest = CpuLoad;

TEST_F(CpuLoadDeathTest, AThreadListThatCannotBeGivenBackStopsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            task().failReleaseThreadList();
            service.getCPULoading();
        },
        "include/mac/MacAppServiceOC\\.cpp:[0-9]+: getCPULoading: Assertion `kr == KERN_SUCCESS' failed\\.");
}

}  // namespace
