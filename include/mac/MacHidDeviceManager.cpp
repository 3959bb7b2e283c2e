// The shared HID device list: discovered from the HID service, kept current, announced.
#include "mac/MacHidDeviceManager.h"

#include "mac/ModelTable.h"
#include "mac/TextNumbers.h"
#include "platform/Log.h"
#include "platform/Platform.h"

using namespace uvccam::platform;

namespace {

// Lives for the rest of the process and is never destroyed at exit; the static pointer
// keeps it reachable.
MacHidDeviceManager*& sharedManager()
{
    static MacHidDeviceManager* manager = nullptr;
    return manager;
}

const QLatin1String kSpeakerphonePrefix("VOXA");

std::shared_ptr<MacHidDevice> makeEntry(const HidDevicePtr& device)
{
    auto entry = std::make_shared<MacHidDevice>();
    entry->setVendorId(device->vendorId());
    entry->setProductId(device->productId());
    entry->setDeviceName(device->productName());
    // "%x" of the location: a camera's HID interface then begins with its camera's key.
    entry->setDeviceUniqueID(QString::number(device->locationId(), 16));
    entry->setHidDevice(device);
    return entry;
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

MacHidDeviceManager::~MacHidDeviceManager()
{
    if (_hidManager) {
        _hidManager->setDeviceMatchingCallback(nullptr);
        _hidManager->setDeviceRemovalCallback(nullptr);
    }
}

void MacHidDeviceManager::privateInit()
{
    _macHidDeviceList.reset();
    _hidManager.reset();
}

bool MacHidDeviceManager::isKept(const HidDevice& device)
{
    return device.vendorId() == ModelTable::kMakerVendorId || device.productName().startsWith(kSpeakerphonePrefix);
}

void MacHidDeviceManager::initHIDManager()
{
    _macHidDeviceList = HidDeviceList();
    // The previous manager stays open but must no longer change the new list.
    if (_hidManager) {
        _hidManager->setDeviceMatchingCallback(nullptr);
        _hidManager->setDeviceRemovalCallback(nullptr);
    }
    _hidManager = Platform::current().hid().createManager();
    _hidManager->open();

    const auto devices = _hidManager->copyDevices();
    if (devices) {
        for (const auto& device : *devices) {
            if (isKept(*device))
                _macHidDeviceList->append(makeEntry(device));
        }
    }
    count_ = countKeptDevices();

    _hidManager->setDeviceMatchingCallback([this](const HidDevicePtr& device) { deviceArrived(device); });
    _hidManager->setDeviceRemovalCallback([this](const HidDevicePtr& device) { deviceRemoved(device); });
    _hidManager->scheduleWithRunLoop();
}

std::int64_t MacHidDeviceManager::countKeptDevices() const
{
    // Counted by the same rule as the list, so that a machine with a keyboard and a mouse
    // can still agree with it.
    if (!_hidManager)
        return 0;
    const auto devices = _hidManager->copyDevices();
    if (!devices)
        return 0;
    std::int64_t kept = 0;
    for (const auto& device : *devices)
        kept += isKept(*device) ? 1 : 0;
    return kept;
}

void MacHidDeviceManager::deviceArrived(const HidDevicePtr& device)
{
    if (!device || !isKept(*device) || !_macHidDeviceList)
        return;
    _macHidDeviceList->append(makeEntry(device));
    printDeviceList(nullptr, nullptr);
}

void MacHidDeviceManager::deviceRemoved(const HidDevicePtr& device)
{
    if (!device || !_macHidDeviceList)
        return;
    for (int index = 0; index < _macHidDeviceList->size(); ++index) {
        if (_macHidDeviceList->at(index)->hidDevice() != device)
            continue;
        const std::shared_ptr<MacHidDevice> removed = _macHidDeviceList->takeAt(index);
        // The location's bits as a signed decimal, which the reconciliation reads back.
        const QString decimalID = QString::number(static_cast<std::int32_t>(device->locationId()));
        const QString name = removed->deviceName();
        printDeviceList(&decimalID, &name);
        return;
    }
}

void MacHidDeviceManager::printDeviceList(const QString* removedUniqueID, const QString* removedDevName)
{
    count_ = countKeptDevices();
    if (!_macHidDeviceList || _macHidDeviceList->size() != count_)
        return;

    if (!removedUniqueID) {
        if (_hidDeviceReady)
            _hidDeviceReady();
        return;
    }

    logSystem("Removed UID = %@", *removedUniqueID);
    const auto bits = static_cast<std::uint32_t>(TextNumbers::decimalInt32(*removedUniqueID));
    QByteArray hexID = QByteArray::number(bits, 16);
    if (_hidDeviceRemove)
        _hidDeviceRemove(hexID.data());
    // A speakerphone's removal leaves nothing to pair; a camera's HID interface may.
    const bool speakerphone = removedDevName && removedDevName->startsWith(kSpeakerphonePrefix);
    if (!speakerphone && _hidDeviceReady)
        _hidDeviceReady();
}
