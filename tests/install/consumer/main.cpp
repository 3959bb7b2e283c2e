// A host's first program: the installed headers alone, the camera interface's class for
// qobject_cast, and the version of the libuvccam.so that was loaded.
#include <UVCCam.h>
#include <UVCCamVersion.h>
#include <mac/MacUVCCam.h>

#include <cstdio>

int main()
{
    QObject* none = nullptr;
    if (qobject_cast<MacUVCCam*>(none) != nullptr)
        return 1;
    std::printf("%s\n", uvccam::libraryVersion());
    return 0;
}
