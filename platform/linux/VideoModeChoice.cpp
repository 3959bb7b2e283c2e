// The camera-mode choice as a pure function of the offered modes, so it is tested without devices.
#include "platform/linux/VideoModeChoice.h"

#include <cstdint>

namespace uvccam::platform {

namespace {

std::int64_t area(const CameraMode& mode)
{
    return static_cast<std::int64_t>(mode.width) * mode.height;
}

bool covers(const CameraMode& mode, const FrameTarget& target)
{
    return mode.width >= target.width && mode.height >= target.height;
}

bool sameSize(const CameraMode& a, const CameraMode& b)
{
    return a.width == b.width && a.height == b.height;
}

// Compares a/b with c/d without division; denominators are positive. An unknown rate
// (0/1) is below every known one.
int compareRates(const CameraMode& a, const CameraMode& b)
{
    const std::int64_t left = static_cast<std::int64_t>(a.framerateNumerator) * b.framerateDenominator;
    const std::int64_t right = static_cast<std::int64_t>(b.framerateNumerator) * a.framerateDenominator;
    return left < right ? -1 : (left > right ? 1 : 0);
}

// Lower is better: no conversion, then another raw layout, then JPEG.
int formatRank(const CameraMode& mode, const FrameTarget& target)
{
    if (mode.encoding == CameraMode::Encoding::Jpeg)
        return 2;
    return mode.format == target.format ? 0 : 1;
}

}  // namespace

bool deliversTargetDirectly(const CameraMode& mode, const FrameTarget& target)
{
    return mode.encoding == CameraMode::Encoding::Raw && mode.format == target.format && mode.width == target.width
        && mode.height == target.height;
}

std::optional<CameraMode> chooseCameraMode(const std::vector<CameraMode>& offered, const FrameTarget& target)
{
    const CameraMode* sized = nullptr;
    for (const CameraMode& mode : offered) {
        if (mode.width <= 0 || mode.height <= 0)
            continue;
        if (!sized) {
            sized = &mode;
            continue;
        }
        const bool exact = mode.width == target.width && mode.height == target.height;
        const bool sizedExact = sized->width == target.width && sized->height == target.height;
        if (sizedExact)
            continue;
        if (exact) {
            sized = &mode;
        } else if (covers(mode, target)) {
            // The nearest larger size: the smallest that still covers the target.
            if (!covers(*sized, target) || area(mode) < area(*sized))
                sized = &mode;
        } else if (!covers(*sized, target) && area(mode) > area(*sized)) {
            sized = &mode;  // nothing covers the target yet: the largest so far
        }
    }
    if (!sized)
        return std::nullopt;

    const CameraMode* best = nullptr;
    for (const CameraMode& mode : offered) {
        if (!sameSize(mode, *sized))
            continue;
        if (!best) {
            best = &mode;
            continue;
        }
        const int rate = compareRates(mode, *best);
        if (rate > 0 || (rate == 0 && formatRank(mode, target) < formatRank(*best, target)))
            best = &mode;
    }
    return *best;
}

}  // namespace uvccam::platform
