// Lays the panels out in three columns and hands the selected device to each.
#include "MainWindow.h"

#include "ControlsPanel.h"
#include "DeviceDescription.h"
#include "DeviceListPanel.h"
#include "HotKeysPanel.h"
#include "MicrophonePanel.h"
#include "PreviewPanel.h"
#include "StatusLine.h"
#include "VendorPanel.h"

#include "UVCCamSimulation.h"

#include <QHBoxLayout>
#include <QStatusBar>
#include <QVBoxLayout>

namespace uvccamviewer {

MainWindow::MainWindow(UVCCam& camera, QWidget* parent) : QMainWindow(parent), status_(new StatusLine)
{
    setWindowTitle(uvccam::sim::isSimulating() ? tr("uvccam viewer (simulated devices)") : tr("uvccam viewer"));
    statusBar()->addWidget(status_, 1);

    // The device list reads the library's selection as it is built and reports it; the
    // other panels exist by then so that they hear of it.
    preview_ = new PreviewPanel(camera, *status_);
    controls_ = new ControlsPanel(camera, *status_);
    vendor_ = new VendorPanel(camera, *status_);
    microphone_ = new MicrophonePanel(camera, *status_);
    hotKeys_ = new HotKeysPanel(camera, *status_);
    devices_ = new DeviceListPanel(camera, *status_);
    connect(devices_, &DeviceListPanel::selectionChanged, this, &MainWindow::showDevice);
    showDevice(devices_->selected());

    auto* left = new QVBoxLayout;
    left->addWidget(devices_, 1);
    left->addWidget(hotKeys_);
    auto* middle = new QVBoxLayout;
    middle->addWidget(preview_);
    middle->addWidget(microphone_);
    middle->addWidget(vendor_);
    middle->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(controls_);
    right->addStretch();

    auto* central = new QWidget;
    auto* columns = new QHBoxLayout(central);
    columns->addLayout(left, 1);
    columns->addLayout(middle);
    columns->addLayout(right, 1);
    setCentralWidget(central);
}

void MainWindow::showDevice(const DeviceInfo& device)
{
    preview_->showDevice(device);
    controls_->showDevice(device);
    vendor_->showDevice(device);
    microphone_->showDevice(device);
}

}  // namespace uvccamviewer
