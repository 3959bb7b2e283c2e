// The interrupt flag and its signal handler.
#include "Interrupt.h"

#include <csignal>

namespace uvccamctl {

namespace {

volatile std::sig_atomic_t interruptFlag = 0;

void onInterrupt(int signal)
{
    interruptFlag = 1;
    std::signal(signal, SIG_DFL);
}

}  // namespace

void catchInterrupts()
{
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
}

bool interrupted()
{
    return interruptFlag != 0;
}

}  // namespace uvccamctl
