// Connects to the camera object's signals by their signatures.
#include "CameraEvents.h"

#include "UVCCam.h"

namespace uvccamctl {

CameraEvents::CameraEvents(UVCCam& camera)
{
    connect(&camera, SIGNAL(deviceAdd()), this, SLOT(deviceAdd()));
    connect(&camera, SIGNAL(deviceRemove()), this, SLOT(deviceRemove()));
    connect(&camera, SIGNAL(deviceChange()), this, SLOT(deviceChange()));
    connect(&camera, SIGNAL(updateVolume(int)), this, SLOT(updateVolume(int)));
    connect(&camera, SIGNAL(keyPressed(int, bool)), this, SLOT(keyPressed(int, bool)));
}

void CameraEvents::deviceAdd()
{
    if (onDeviceAdd)
        onDeviceAdd();
}

void CameraEvents::deviceRemove()
{
    if (onDeviceRemove)
        onDeviceRemove();
}

void CameraEvents::deviceChange()
{
    if (onDeviceChange)
        onDeviceChange();
}

void CameraEvents::updateVolume(int volume)
{
    if (onUpdateVolume)
        onUpdateVolume(volume);
}

void CameraEvents::keyPressed(int key, bool pressed)
{
    if (onKeyPressed)
        onKeyPressed(key, pressed);
}

}  // namespace uvccamctl
