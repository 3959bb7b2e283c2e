// The global hot keys the library offers, switched on and off as one set.
#pragma once

#include "UVCCamCallbacks.h"
#include "UVCCamExport.h"

class UVCCAM_EXPORT MacHotKeyManager {
public:
    // The process's manager, made on first use.
    static MacHotKeyManager* sharedInstance();
    ~MacHotKeyManager();

    MacHotKeyManager(const MacHotKeyManager&) = delete;
    MacHotKeyManager& operator=(const MacHotKeyManager&) = delete;

    // Receives the Qt key value of each reported key press.
    HotKeyCallback hotKeyCallbackFun() const { return hotKeyCallbackFun_; }
    void setHotKeyCallbackFun(HotKeyCallback callback) { hotKeyCallbackFun_ = callback; }

    // True asks for the manager's global hot keys, false gives them up.
    void hotKeyRegister(bool registering);
    bool isRegistered() const { return registered_; }

    // Forgets the shared instance, for a process that switches platforms (tests do).
    static void discardSharedInstance();

private:
    MacHotKeyManager() = default;

    HotKeyCallback hotKeyCallbackFun_ = nullptr;
    bool registered_ = false;
};
