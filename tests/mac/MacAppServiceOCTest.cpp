// The application services on the simulated session: hiding and showing, the login item, the processor load.
#include "mac/MacAppServiceOC.h"

#include "platform/Platform.h"
#include "platform/sim/LoginItemsServiceSim.h"
#include "platform/sim/ProcessServiceSim.h"
#include "platform/sim/TaskInfoServiceSim.h"
#include "support/SimulatedWorld.h"

#include <cmath>
#include <functional>
#include <vector>

namespace {

using namespace uvccam::platform;
using uvccam::testing::SimulatedWorld;
using Call = ProcessServiceSim::Call;
using Usages = std::initializer_list<std::pair<std::int32_t, std::int32_t>>;  // usage and flags per thread

constexpr ProcessSerialNumber kOwn = ProcessServiceSim::kOwnProcess;
constexpr ProcessSerialNumber kEditor{0, 0x2001};
const QString kHideOnLaunch = QStringLiteral("com.apple.loginitem.HideOnLaunch");
const QUrl kApplication = QUrl::fromLocalFile(QStringLiteral("/Applications/Vantora.app"));

class AppService : public SimulatedWorld {
protected:
    ProcessServiceSim& processes() { return dynamic_cast<ProcessServiceSim&>(Platform::current().process()); }
    LoginItemsServiceSim& loginItems() { return dynamic_cast<LoginItemsServiceSim&>(Platform::current().loginItems()); }
    TaskInfoServiceSim& task() { return dynamic_cast<TaskInfoServiceSim&>(Platform::current().taskInfo()); }

    // The session requests as "call high:low[ status]", the status only where one was refused.
    QStringList calls()
    {
        QStringList result;
        for (const auto& r : processes().requests()) {
            const char* name = r.call == Call::ShowHideProcess ? (r.visible ? "show" : "hide")
                                                               : (r.call == Call::FrontProcess ? "front" : "setFront");
            result << QStringLiteral("%1 %2:%3").arg(QLatin1String(name)).arg(r.process.high).arg(r.process.low, 0, 16)
                          + (r.status == kProcessSuccess ? QString() : QStringLiteral(" %1").arg(r.status));
        }
        return result;
    }

    MacAppServiceOC service;
};

// ---- Hiding and showing ----

using HideShow = AppService;

TEST_F(HideShow, ShowingBringsBackWhatWasInFrontAtTheLastHide)
{
    service.init();
    processes().launch(kEditor);
    EXPECT_EQ(service.hideShowWindowFromDock(false), kProcessSuccess);
    EXPECT_FALSE(processes().isVisible(kOwn));
    EXPECT_EQ(processes().front(), ProcessServiceSim::kDesktopProcess);
    processes().activate(kEditor);  // the user switches to another application meanwhile
    EXPECT_EQ(service.hideShowWindowFromDock(false), kProcessSuccess);
    EXPECT_FALSE(processes().isVisible(kEditor));

    EXPECT_EQ(service.hideShowWindowFromDock(true), kProcessSuccess);
    EXPECT_EQ(processes().front(), kEditor);
    // The host application stays hidden: it was not in front at the second hide.
    EXPECT_FALSE(processes().isVisible(kOwn));
    EXPECT_EQ(calls(), (QStringList{"front 0:1001", "hide 0:1001", "front 0:2001", "hide 0:2001", "show 0:2001",
                                    "setFront 0:2001"}));
}

TEST_F(HideShow, WithNothingRememberedShowingAsksForNoProcessAndReturnsTheRefusal)
{
    EXPECT_EQ(service.hideShowWindowFromDock(true), kProcessNotFound);
    EXPECT_EQ(processes().front(), kOwn);
    // With nothing in front nothing is hidden, and the earlier hide is forgotten: showing must
    // not bring back the application hidden long before.
    service.hideShowWindowFromDock(false);
    processes().hideAll();
    EXPECT_EQ(service.hideShowWindowFromDock(false), kProcessNotFound);
    EXPECT_EQ(service.hideShowWindowFromDock(true), kProcessNotFound);
    EXPECT_FALSE(processes().isVisible(kOwn));
    EXPECT_EQ(calls(), (QStringList{"show 0:0 -600", "setFront 0:0 -600", "front 0:1001", "hide 0:1001", "front 0:0 -600",
                                    "show 0:0 -600", "setFront 0:0 -600"}));
}

// ---- Login item ----

using LaunchOnLogin = AppService;

TEST_F(LaunchOnLogin, EnablingTwiceAddsTwoItemsAtTheEndAndDisablingRemovesOnlyThoseThatResolveToIt)
{
    QList<QUrl> kept;
    loginItems().addItem(kApplication, false);  // moved away since: no longer resolves
    for (const char* path : {"/Applications/Mail.app", "/Users/ana/Applications/Vantora.app", "/Applications/vantora.app",
                             "/Applications/Vantora.app/Contents"})
        loginItems().addItem((kept << QUrl::fromLocalFile(QString::fromLatin1(path))).last());
    service.setLaunchOnLogin(true);
    service.setLaunchOnLogin(true);
    EXPECT_EQ(loginItems().urls(), QList<QUrl>({kApplication}) + kept + QList<QUrl>({kApplication, kApplication}));
    ASSERT_EQ(loginItems().insertions().size(), 2u);
    for (const auto& insertion : loginItems().insertions()) {
        EXPECT_EQ(insertion.filePath, QStringLiteral("/Applications/Vantora.app"));
        EXPECT_EQ(insertion.properties, (QVariantMap{{kHideOnLaunch, false}}));
        // Shown at login: a bool, not a number that compares equal to false.
        EXPECT_EQ(insertion.properties.value(kHideOnLaunch).userType(), QMetaType::Bool);
    }

    service.setLaunchOnLogin(false);
    EXPECT_EQ(loginItems().urls(), QList<QUrl>({kApplication}) + kept);
    EXPECT_EQ(loginItems().removals().size(), 2u);
}

// ---- Processor load ----

class CpuLoad : public AppService {
protected:
    std::vector<ThreadHandle> threads(Usages usageAndFlags)
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
        Usages threads;
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

TEST_F(CpuLoad, EachUnreadablePieceGivesMinusOneAndTheListStillGoesBack)
{
    const std::vector<ThreadHandle> handles = threads({{1000, 0}, {400, 0}, {300, 0}});
    const std::function<void(bool)> faults[] = {[&](bool on) { task().failTaskBasicInfo(on); },
                                                [&](bool on) { task().failTaskThreads(on); },
                                                [&](bool on) { task().failThreadBasicInfo(handles[1], on); }};
    for (const auto& fault : faults) {
        fault(true);
        EXPECT_EQ(service.getCPULoading(), -1.0f);
        fault(false);
    }
    // Only the unreadable thread's reading got a list, and it ended at that thread.
    EXPECT_EQ(task().listsHandedOut(), 1);
    EXPECT_EQ(task().threadsAsked(), (std::vector<ThreadHandle>{handles[0], handles[1]}));
    EXPECT_EQ(service.getCPULoading(), 170.0f);
}

TEST_F(CpuLoad, AThreadThatEndsBeforeItIsReadCountsForNothingAndTheOthersStillDo)
{
    const std::vector<ThreadHandle> handles = threads({{1000, 0}, {400, 0}, {300, 0}});
    task().endAfterListing(handles[1]);
    EXPECT_EQ(service.getCPULoading(), 130.0f);
    EXPECT_EQ(task().threadsAsked(), handles);
}

using CpuLoadDeathTest = CpuLoad;

TEST_F(CpuLoadDeathTest, AThreadListThatCannotBeGivenBackStopsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    task().failReleaseThreadList();
    EXPECT_DEATH(service.getCPULoading(),
                 "include/mac/MacAppServiceOC\\.cpp:[0-9]+: getCPULoading: Assertion `kr == KERN_SUCCESS' failed\\.");
}

}  // namespace
