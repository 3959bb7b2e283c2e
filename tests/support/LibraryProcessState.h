// Forgets the library's process-wide objects, so that each test meets the library as a host starting afresh does.
#pragma once

#include "hotkey/HKHotKeyCenter.h"
#include "mac/MacAudioMgr.h"
#include "mac/MacCameraManager.h"
#include "mac/MacHidDeviceManager.h"
#include "mac/MacHotKeyManager.h"
#include "mac/MacUVCCam.h"
#include "mac/MacUVCCamCallbacks.h"

namespace uvccam::testing {

// The cores and the shared managers outlive any one UVCCam object; a test that changes the
// platform under them must drop them first, or they keep serving the previous platform.
inline void discardLibraryProcessState()
{
    uvccam::internal::discardAllCores();
    MacCameraManager::discardSharedInstance();
    MacHidDeviceManager::discardSharedInstance();
    MacHotKeyManager::discardSharedInstance();
    HKHotKeyCenter::discardSharedHotKeyCenter();
    MacAudioMgr::dispose();
}

}  // namespace uvccam::testing
