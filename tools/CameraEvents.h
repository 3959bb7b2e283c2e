// Receives the camera object's signals and hands each to whatever function a command set.
#pragma once

#include <QObject>

#include <functional>

class UVCCam;

namespace uvccamctl {

// UVCCam declares its signals without a meta-object of its own, so a host connects to
// them by signature; this object does that once for all five. Only the newest camera
// object emits, so connect to the one made last.
class CameraEvents : public QObject {
    Q_OBJECT

public:
    explicit CameraEvents(UVCCam& camera);

    std::function<void()> onDeviceAdd;
    std::function<void()> onDeviceRemove;
    std::function<void()> onDeviceChange;
    std::function<void(int)> onUpdateVolume;
    std::function<void(int, bool)> onKeyPressed;

private slots:
    void deviceAdd();
    void deviceRemove();
    void deviceChange();
    void updateVolume(int volume);
    void keyPressed(int key, bool pressed);
};

}  // namespace uvccamctl
