// The device list: deviceChange re-reads it, the arrivals and departures go to the status line.
#include "DeviceListPanel.h"

#include "DeviceDescription.h"
#include "StatusLine.h"

#include "UVCCam.h"
#include "mac/MacUVCCam.h"

#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace uvccamviewer {

namespace {

enum Column { kModelColumn, kDeviceIdColumn, kUniqueIdColumn, kColumnCount };

bool sameDevice(const DeviceInfo& a, const DeviceInfo& b)
{
    return a.deviceUniqueId == b.deviceUniqueId;
}

bool listed(const QList<DeviceInfo>& devices, const DeviceInfo& device)
{
    return std::any_of(devices.begin(), devices.end(), [&device](const DeviceInfo& other) { return sameDevice(device, other); });
}

}  // namespace

DeviceListPanel::DeviceListPanel(UVCCam& camera, StatusLine& status, QWidget* parent)
    : QGroupBox(tr("Devices"), parent),
      camera_(camera),
      status_(status),
      list_(new QTreeWidget),
      model_(new QLabel),
      deviceId_(new QLabel),
      uniqueId_(new QLabel),
      serialNumber_(new QLabel),
      kind_(new QLabel),
      signalCounts_(new QLabel)
{
    list_->setObjectName(QStringLiteral("deviceList"));
    list_->setColumnCount(kColumnCount);
    list_->setHeaderLabels({tr("Model"), tr("Device ID"), tr("Unique ID")});
    list_->setRootIsDecorated(false);
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &DeviceListPanel::userPicked);

    auto* details = new QFormLayout;
    details->addRow(tr("Model:"), model_);
    details->addRow(tr("Device ID:"), deviceId_);
    details->addRow(tr("Unique ID:"), uniqueId_);
    details->addRow(tr("Serial number:"), serialNumber_);
    details->addRow(tr("Kind:"), kind_);
    model_->setObjectName(QStringLiteral("deviceModel"));
    deviceId_->setObjectName(QStringLiteral("deviceId"));
    uniqueId_->setObjectName(QStringLiteral("deviceUniqueId"));
    serialNumber_->setObjectName(QStringLiteral("deviceSerialNumber"));
    kind_->setObjectName(QStringLiteral("deviceKind"));
    for (QLabel* value : {model_, deviceId_, uniqueId_, serialNumber_, kind_})
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addLayout(details);
    signalCounts_->setObjectName(QStringLiteral("deviceSignals"));
    layout->addWidget(signalCounts_);

    // A camera arrives and leaves twice (its video function and its HID interface), each
    // time with deviceAdd or deviceRemove and then deviceChange. The list follows
    // deviceChange; the other two are only counted, since one physical device gives two.
    auto* source = qobject_cast<MacUVCCam*>(&camera_);
    connect(source, &MacUVCCam::deviceAdd, this, [this] { countSignal(deviceAdds_); });
    connect(source, &MacUVCCam::deviceRemove, this, [this] { countSignal(deviceRemoves_); });
    connect(source, &MacUVCCam::deviceChange, this, [this] {
        countSignal(deviceChanges_);
        refresh();
    });
    showSignalCounts();
    refresh();
}

void DeviceListPanel::refresh()
{
    const QList<DeviceInfo> before = devices_;
    devices_ = camera_.getDeviceList();
    reportArrivalsAndDepartures(before);

    const DeviceInfo now = camera_.findDevice() ? camera_.getDeviceInfo() : DeviceInfo();
    const bool changed = !sameDevice(now, selected_);
    selected_ = now;
    fillList();
    if (changed) {
        showDetails();
        emit selectionChanged(selected_);
    }
}

bool DeviceListPanel::select(const QString& uniqueId)
{
    if (uniqueId == selected_.deviceUniqueId)
        return true;
    const int result = camera_.setDevice(uniqueId);
    if (result != 1) {
        status_.refused(QStringLiteral("setDevice(%1)").arg(uniqueId), result);
        fillList();
        return false;
    }
    selected_ = camera_.getDeviceInfo();
    status_.say(tr("Selected %1").arg(describe(selected_)));
    fillList();
    showDetails();
    emit selectionChanged(selected_);
    return true;
}

void DeviceListPanel::countSignal(int& counter)
{
    ++counter;
    showSignalCounts();
}

void DeviceListPanel::showSignalCounts()
{
    signalCounts_->setText(tr("Signals: deviceAdd %1, deviceRemove %2, deviceChange %3")
                               .arg(deviceAdds_)
                               .arg(deviceRemoves_)
                               .arg(deviceChanges_));
}

void DeviceListPanel::reportArrivalsAndDepartures(const QList<DeviceInfo>& before)
{
    QStringList changes;
    for (const DeviceInfo& device : before) {
        if (!listed(devices_, device))
            changes << tr("%1 left").arg(describe(device));
    }
    for (const DeviceInfo& device : devices_) {
        if (!listed(before, device))
            changes << tr("%1 arrived").arg(describe(device));
    }
    if (before.isEmpty() && !devices_.isEmpty())
        status_.say(tr("%1 devices attached").arg(devices_.size()));
    else if (!changes.isEmpty())
        status_.say(changes.join(QStringLiteral("; ")));
}

void DeviceListPanel::fillList()
{
    const QSignalBlocker quiet(list_);
    list_->clear();
    for (const DeviceInfo& device : devices_) {
        auto* item = new QTreeWidgetItem(list_, {device.modelName, QString::number(device.deviceId), device.deviceUniqueId});
        item->setData(kModelColumn, Qt::UserRole, device.deviceUniqueId);
        if (sameDevice(device, selected_))
            item->setSelected(true);
    }
}

void DeviceListPanel::showDetails()
{
    const bool any = !selected_.deviceUniqueId.isEmpty();
    model_->setText(any ? selected_.modelName : tr("(none selected)"));
    deviceId_->setText(any ? QString::number(selected_.deviceId) : QString());
    uniqueId_->setText(selected_.deviceUniqueId);
    const QString serial = any ? camera_.getDeviceSN() : QString();
    serialNumber_->setText(any && serial.isEmpty() ? tr("(not reported)") : serial);
    kind_->setText(any ? (isSpeakerphone(selected_) ? tr("speakerphone") : tr("camera")) : QString());
}

void DeviceListPanel::userPicked()
{
    const QList<QTreeWidgetItem*> picked = list_->selectedItems();
    if (!picked.isEmpty())
        select(picked.first()->data(kModelColumn, Qt::UserRole).toString());
}

}  // namespace uvccamviewer
