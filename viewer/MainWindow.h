// The viewer's one window: every panel, wired to the camera object and to one another.
#pragma once

#include "DeviceInfo.h"

#include <QMainWindow>

class UVCCam;

namespace uvccamviewer {

class ControlsPanel;
class DeviceListPanel;
class HotKeysPanel;
class MicrophonePanel;
class PreviewPanel;
class StatusLine;
class VendorPanel;

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // The camera object must outlive the window: the panels give back what they started
    // (the stream, the global shortcuts) when they go.
    explicit MainWindow(UVCCam& camera, QWidget* parent = nullptr);

    DeviceListPanel& devices() const { return *devices_; }
    PreviewPanel& preview() const { return *preview_; }
    ControlsPanel& controls() const { return *controls_; }
    VendorPanel& vendor() const { return *vendor_; }
    MicrophonePanel& microphone() const { return *microphone_; }
    HotKeysPanel& hotKeys() const { return *hotKeys_; }
    StatusLine& status() const { return *status_; }

private:
    void showDevice(const DeviceInfo& device);

    StatusLine* status_;
    DeviceListPanel* devices_;
    PreviewPanel* preview_;
    ControlsPanel* controls_;
    VendorPanel* vendor_;
    MicrophonePanel* microphone_;
    HotKeysPanel* hotKeys_;
};

}  // namespace uvccamviewer
