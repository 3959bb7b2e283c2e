// The HID devices known to the library and the callbacks that announce their changes.
#pragma once

#include "UVCCamCallbacks.h"
#include "mac/MacHidDevice.h"
#include "platform/HidService.h"

#include <QList>

#include <cstdint>
#include <memory>
#include <optional>

class MacHidDeviceManager {
public:
    using HidDeviceList = QList<std::shared_ptr<MacHidDevice>>;

    // The process's manager; its list is none until initHIDManager.
    static MacHidDeviceManager* sharedInstance();
    ~MacHidDeviceManager();

    MacHidDeviceManager(const MacHidDeviceManager&) = delete;
    MacHidDeviceManager& operator=(const MacHidDeviceManager&) = delete;

    // Opens the HID service: a new list of the maker's HID devices present now, kept
    // current as devices come and go. A further call starts over with a new manager.
    void initHIDManager();

    // Reconciles after an arrival (no unique ID) or a removal (the removed device's
    // location as decimal text, and its name) and tells the callbacks.
    void printDeviceList(const QString* removedUniqueID, const QString* removedDevName);

    // None before initHIDManager, otherwise the list (possibly empty).
    const std::optional<HidDeviceList>& macHidDeviceList() const { return _macHidDeviceList; }
    void setMacHidDeviceList(std::optional<HidDeviceList> list) { _macHidDeviceList = std::move(list); }
    // The list's entries, or none when there is no list.
    HidDeviceList hidDevices() const { return _macHidDeviceList.value_or(HidDeviceList()); }

    std::int64_t count() const { return count_; }
    const std::shared_ptr<uvccam::platform::HidManager>& hidManager() const { return _hidManager; }

    HidReadyCallback hidDeviceReady() const { return _hidDeviceReady; }
    void setHidDeviceReady(HidReadyCallback callback) { _hidDeviceReady = callback; }
    DeviceIdCallback hidDeviceRemove() const { return _hidDeviceRemove; }
    void setHidDeviceRemove(DeviceIdCallback callback) { _hidDeviceRemove = callback; }

    // Forgets the shared instance, for a process that switches platforms (tests do).
    static void discardSharedInstance();

    // Whether the library keeps a HID device: the maker's, or any speakerphone by name.
    static bool isKept(const uvccam::platform::HidDevice& device);

private:
    MacHidDeviceManager() = default;
    void privateInit();
    std::int64_t countKeptDevices() const;
    void deviceArrived(const uvccam::platform::HidDevicePtr& device);
    void deviceRemoved(const uvccam::platform::HidDevicePtr& device);

    std::int64_t count_ = 0;
    std::shared_ptr<uvccam::platform::HidManager> _hidManager;
    std::optional<HidDeviceList> _macHidDeviceList;
    HidReadyCallback _hidDeviceReady = nullptr;
    DeviceIdCallback _hidDeviceRemove = nullptr;
};
