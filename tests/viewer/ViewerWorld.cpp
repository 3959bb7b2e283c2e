// Builds the window the way the program does, on the test's simulated world.
#include "ViewerWorld.h"

#include "UVCCamSimulation.h"

namespace uvccamviewer::testing {

namespace {

const QStringList kDemoModels{QStringLiteral("RX710"), QStringLiteral("ST470"), QStringLiteral("LUM610"), QStringLiteral("VOXA760")};

}  // namespace

ViewerWorld::ViewerWorld()
{
    attached_ = uvccam::sim::attachDemoSet();
    camera_.reset(acquireUVCCam());
    // The devices announce themselves, and the camera finds its HID interface, through the
    // library's loop: let that settle before the window reads the list.
    uvccam::sim::wait(0);
    window_ = std::make_unique<MainWindow>(*camera_);
    window_->show();
    pass(0);
}

ViewerWorld::~ViewerWorld()
{
    // The window gives back the stream and the shortcuts through the camera object.
    window_.reset();
    camera_.reset();
}

void ViewerWorld::pass(double seconds)
{
    uvccam::sim::wait(seconds);
    QCoreApplication::processEvents();
}

QString ViewerWorld::idOf(const QString& model) const
{
    return attached_.value(kDemoModels.indexOf(model));
}

}  // namespace uvccamviewer::testing
