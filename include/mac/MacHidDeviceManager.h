// The HID devices known to the library and the callbacks that announce their changes.
#pragma once

#include "UVCCamCallbacks.h"
#include "UVCCamExport.h"
#include "mac/MacHidDevice.h"

#include <QList>

#include <cstdint>
#include <memory>
#include <optional>

class UVCCAM_EXPORT MacHidDeviceManager {
public:
    using HidDeviceList = QList<std::shared_ptr<MacHidDevice>>;

    // The process's manager; its list is none until initHIDManager.
    static MacHidDeviceManager* sharedInstance();
    ~MacHidDeviceManager();

    MacHidDeviceManager(const MacHidDeviceManager&) = delete;
    MacHidDeviceManager& operator=(const MacHidDeviceManager&) = delete;

    // Opens the HID service. Afterwards the list exists; it starts empty.
    void initHIDManager();

    // None before initHIDManager, otherwise the list (possibly empty).
    const std::optional<HidDeviceList>& macHidDeviceList() const { return _macHidDeviceList; }
    void setMacHidDeviceList(std::optional<HidDeviceList> list) { _macHidDeviceList = std::move(list); }
    // The list's entries, or none when there is no list.
    HidDeviceList hidDevices() const { return _macHidDeviceList.value_or(HidDeviceList()); }

    std::int64_t count() const { return count_; }

    HidReadyCallback hidDeviceReady() const { return _hidDeviceReady; }
    void setHidDeviceReady(HidReadyCallback callback) { _hidDeviceReady = callback; }
    DeviceIdCallback hidDeviceRemove() const { return _hidDeviceRemove; }
    void setHidDeviceRemove(DeviceIdCallback callback) { _hidDeviceRemove = callback; }

    // Forgets the shared instance, for a process that switches platforms (tests do).
    static void discardSharedInstance();

private:
    MacHidDeviceManager() = default;
    void privateInit();

    std::int64_t count_ = 0;
    std::optional<HidDeviceList> _macHidDeviceList;
    HidReadyCallback _hidDeviceReady = nullptr;
    DeviceIdCallback _hidDeviceRemove = nullptr;
};
