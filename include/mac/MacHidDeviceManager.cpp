// The shared HID device list and its arrival and removal callbacks.
#include "mac/MacHidDeviceManager.h"

namespace {

// Lives for the rest of the process and is never destroyed at exit; the static pointer
// keeps it reachable.
MacHidDeviceManager*& sharedManager()
{
    static MacHidDeviceManager* manager = nullptr;
    return manager;
}

}  // namespace

MacHidDeviceManager* MacHidDeviceManager::sharedInstance()
{
    if (!sharedManager()) {
        sharedManager() = new MacHidDeviceManager();
        sharedManager()->privateInit();
    }
    return sharedManager();
}

void MacHidDeviceManager::discardSharedInstance()
{
    delete sharedManager();
    sharedManager() = nullptr;
}

MacHidDeviceManager::~MacHidDeviceManager() = default;

void MacHidDeviceManager::privateInit()
{
    _macHidDeviceList.reset();
}

void MacHidDeviceManager::initHIDManager()
{
    // A further call starts over with an empty list, as a fresh start-up does.
    _macHidDeviceList = HidDeviceList();
    count_ = 0;
}
