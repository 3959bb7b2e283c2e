// The attached devices, kept current through the hot-plug signals, and the selected one's details.
#pragma once

#include "DeviceInfo.h"

#include <QGroupBox>
#include <QList>

class QLabel;
class QTreeWidget;
class UVCCam;

namespace uvccamviewer {

class StatusLine;

class DeviceListPanel : public QGroupBox {
    Q_OBJECT

public:
    DeviceListPanel(UVCCam& camera, StatusLine& status, QWidget* parent = nullptr);

    // Reads the list and the selection from the library again.
    void refresh();
    // Selects the device with this unique ID through the library; false when refused.
    bool select(const QString& uniqueId);

    const QList<DeviceInfo>& devices() const { return devices_; }
    // The selected device while it is attached, else a device with an empty unique ID.
    const DeviceInfo& selected() const { return selected_; }

signals:
    // The library's selection changed: another device, or none (an empty unique ID).
    void selectionChanged(const DeviceInfo& device);

private:
    void countSignal(int& counter);
    void showSignalCounts();
    void reportArrivalsAndDepartures(const QList<DeviceInfo>& before);
    void fillList();
    void showDetails();
    void userPicked();

    UVCCam& camera_;
    StatusLine& status_;
    QTreeWidget* list_;
    QLabel* model_;
    QLabel* deviceId_;
    QLabel* uniqueId_;
    QLabel* serialNumber_;
    QLabel* kind_;
    QLabel* signalCounts_;
    int deviceAdds_ = 0;
    int deviceRemoves_ = 0;
    int deviceChanges_ = 0;
    QList<DeviceInfo> devices_;
    DeviceInfo selected_;
};

}  // namespace uvccamviewer
