// main() for tests on emulated devices: runs under umockdev's preload library and a Qt event loop.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

namespace {

constexpr const char* kPreload = "libumockdev-preload.so.0";

bool preloaded()
{
    const char* preload = std::getenv("LD_PRELOAD");
    return preload && std::strstr(preload, "libumockdev-preload");
}

// Starts this program again with the preload in place, so that ctest, a debugger or a
// developer can run the tests directly. The sanitizer runtime would insist on coming
// first among the preloaded libraries; umockdev's only wraps system calls, so its order
// does not matter to it.
[[noreturn]] void restartPreloaded(char** argv)
{
    const char* previous = std::getenv("LD_PRELOAD");
    std::string preload = previous && *previous ? std::string(kPreload) + ":" + previous : std::string(kPreload);
    setenv("LD_PRELOAD", preload.c_str(), 1);
    const char* asan = std::getenv("ASAN_OPTIONS");
    std::string options = asan && *asan ? std::string(asan) + ":verify_asan_link_order=0" : "verify_asan_link_order=0";
    setenv("ASAN_OPTIONS", options.c_str(), 1);
    execv("/proc/self/exe", argv);
    std::perror("cannot restart the tests under umockdev");
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv)
{
    if (!preloaded())
        restartPreloaded(argv);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
