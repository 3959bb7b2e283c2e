// Which of a camera's offered modes to capture in, for the frames a video output wants.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace uvccam::platform {

// One way a camera can send frames: an encoding, a size and a frame rate.
struct CameraMode {
    enum class Encoding { Raw, Jpeg };
    Encoding encoding = Encoding::Raw;
    // GStreamer's name of a raw layout ("UYVY", "YUY2", "NV12"); empty for JPEG.
    std::string format;
    int width = 0;
    int height = 0;
    // Frames per second as a fraction; 0/1 when the camera does not say.
    int framerateNumerator = 0;
    int framerateDenominator = 1;

    bool operator==(const CameraMode& other) const
    {
        return encoding == other.encoding && format == other.format && width == other.width
            && height == other.height && framerateNumerator == other.framerateNumerator
            && framerateDenominator == other.framerateDenominator;
    }
};

// The frames a video output wants: a raw layout and a size.
struct FrameTarget {
    std::string format;
    int width = 0;
    int height = 0;
};

// True when frames in `mode` are already what `target` asks for, so no element needs to
// decode, convert or scale them.
bool deliversTargetDirectly(const CameraMode& mode, const FrameTarget& target);

// The mode to capture in, or none when nothing is offered. The size comes first: the
// target's own size if any mode has it, else the smallest size that covers the target
// (scaling down loses nothing), else the largest offered. Among the modes of that size the
// highest frame rate wins, so that a camera whose raw mode is slow at a size is read as
// JPEG at full rate; at equal rates a mode needing no conversion beats another raw
// layout, and any raw layout beats JPEG (no decoder). Ties keep the camera's own order.
std::optional<CameraMode> chooseCameraMode(const std::vector<CameraMode>& offered, const FrameTarget& target);

}  // namespace uvccam::platform
