// Hiding and showing the host application, its login item and the process's processor load.
#include "mac/MacAppServiceOC.h"

#include "platform/Platform.h"

#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <cstdio>
#include <cstdlib>

using namespace uvccam::platform;

namespace {

const char* const kHideOnLaunchProperty = "com.apple.loginitem.HideOnLaunch";
// Named as the repository names it, not as the build saw it.
const char* const kSourceFile = "include/mac/MacAppServiceOC.cpp";

// A broken invariant of our own bookkeeping stops the process in every build, since
// carrying on would leave the kernel's and our idea of the process's memory apart.
// Written straight to the process's standard error: the last words must reach the
// terminal whatever log sink is installed.
[[noreturn]] void invariantBroken(const char* condition, const char* function, int line)
{
    std::fprintf(stderr, "%s:%d: %s: Assertion `%s' failed.\n", kSourceFile, line, function, condition);
    std::fflush(stderr);
    std::abort();
}

#define UVCCAM_CHECK_INVARIANT(condition) \
    ((condition) ? void(0) : invariantBroken(#condition, __func__, __LINE__))

}  // namespace

MacAppServiceOC::MacAppServiceOC() = default;

MacAppServiceOC::~MacAppServiceOC() = default;

void MacAppServiceOC::init() {}

ProcessSerialNumber MacAppServiceOC::rememberedProcess() const
{
    return {rememberedProcess_.high, rememberedProcess_.low};
}

int MacAppServiceOC::hideShowWindowFromDock(bool show)
{
    ProcessService& processes = Platform::current().process();
    if (show) {
        const ProcessSerialNumber remembered = rememberedProcess();
        processes.showHideProcess(remembered, true);
        return processes.setFrontProcess(remembered);
    }
    // With nothing in front there is nothing to hide; remembering no process keeps a
    // later show from bringing back an application hidden long before.
    ProcessSerialNumber inFront;
    const ProcessStatus status = processes.frontProcess(inFront);
    if (status != kProcessSuccess) {
        rememberedProcess_ = {};
        return status;
    }
    rememberedProcess_ = {inFront.high, inFront.low};
    return processes.showHideProcess(inFront, false);
}

void MacAppServiceOC::setLaunchOnLogin(bool enable)
{
    LoginItemsService& loginItems = Platform::current().loginItems();
    // Where the session finds the application is the platform's to say: on Linux the
    // running executable.
    const QString path = loginItems.applicationPath();
    if (enable) {
        // The item the list gives back is not needed; dropping it releases it.
        loginItems.insertItemLast(path, QVariantMap{{QString::fromLatin1(kHideOnLaunchProperty), false}});
        return;
    }
    const QUrl application = QUrl::fromLocalFile(path);
    // The user may have added the application more than once; every one of them goes.
    for (const LoginItemRef& item : loginItems.snapshot()) {
        QUrl target;
        if (loginItems.resolveItem(item, target) == kLoginItemSuccess && target == application)
            loginItems.removeItem(item);
    }
}

float MacAppServiceOC::getCPULoading()
{
    TaskInfoService& task = Platform::current().taskInfo();
    if (task.taskBasicInfo() != KERN_SUCCESS)
        return -1.0f;
    std::vector<ThreadHandle> threads;
    if (task.taskThreads(threads) != KERN_SUCCESS)
        return -1.0f;

    float load = 0.0f;
    bool readable = true;
    for (ThreadHandle thread : threads) {
        ThreadBasicInfo info;
        const KernReturn status = task.threadBasicInfo(thread, info);
        // A thread that ended after the listing uses nothing any more; only a thread that
        // is there and cannot be read spoils the reading.
        if (status == KERN_TERMINATED)
            continue;
        if (status != KERN_SUCCESS) {
            readable = false;
            break;
        }
        if (info.flags & TH_FLAGS_IDLE)
            continue;
        // Divided in single precision, scaled and summed in double, narrowed once per
        // thread: the last bit of the load depends on this order, and keeping it fixed
        // makes the same usages always report the same value.
        const float share = float(info.cpuUsage) / float(TH_USAGE_SCALE);
        load = float(double(share) * 100.0 + double(load));
    }

    // The list goes back on the failure path too, or every failed reading would keep it.
    const KernReturn kr = task.releaseThreadList(threads);
    UVCCAM_CHECK_INVARIANT(kr == KERN_SUCCESS);
    return readable ? load : -1.0f;
}
