// The shared hot-key manager: its callback and whether its keys are asked for.
#include "mac/MacHotKeyManager.h"

namespace {

// Lives for the rest of the process and is never destroyed at exit; the static pointer
// keeps it reachable.
MacHotKeyManager*& sharedManager()
{
    static MacHotKeyManager* manager = nullptr;
    return manager;
}

}  // namespace

MacHotKeyManager* MacHotKeyManager::sharedInstance()
{
    if (!sharedManager())
        sharedManager() = new MacHotKeyManager();
    return sharedManager();
}

void MacHotKeyManager::discardSharedInstance()
{
    delete sharedManager();
    sharedManager() = nullptr;
}

MacHotKeyManager::~MacHotKeyManager() = default;

void MacHotKeyManager::hotKeyRegister(bool registering)
{
    registered_ = registering;
}
