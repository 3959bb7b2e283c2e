// Test frames in the '2vuy' layout: U0 Y0 V0 Y1 for every pair of pixels.
#include "platform/sim/PixelBufferSim.h"

#include <array>

namespace uvccam::platform {

namespace {

struct Yuv {
    std::uint8_t y, u, v;
};

// The classic eight bars at 75 %, in video range.
constexpr std::array<Yuv, 8> kBars{{
    {180, 128, 128},  // white
    {162, 44, 142},   // yellow
    {131, 156, 44},   // cyan
    {112, 72, 58},    // green
    {84, 184, 198},   // magenta
    {65, 100, 212},   // red
    {35, 212, 114},   // blue
    {16, 128, 128},   // black
}};

constexpr std::uint8_t kCounterWhite = 235;
constexpr std::uint8_t kCounterBlack = 16;
constexpr int kCounterBits = 32;
constexpr std::size_t kBarShiftPerFrame = 4;

}  // namespace

PixelBufferSim::PixelBufferSim(std::size_t width, std::size_t height)
    : width_(width), height_(height), bytesPerRow_((width * 2 + 63) / 64 * 64), pixels_(bytesPerRow_ * height)
{
}

void PixelBufferSim::drawTestFrame(std::uint32_t frameNumber)
{
    const std::size_t barWidth = width_ / kBars.size() + 1;
    const std::size_t shift = (static_cast<std::size_t>(frameNumber) * kBarShiftPerFrame) % (width_ ? width_ : 1);
    for (std::size_t row = 0; row < height_; ++row) {
        std::uint8_t* line = pixels_.data() + row * bytesPerRow_;
        for (std::size_t pair = 0; pair < width_ / 2; ++pair) {
            const Yuv& bar = kBars[(((pair * 2 + shift) % width_) / barWidth) % kBars.size()];
            std::uint8_t* at = line + pair * 4;
            at[0] = bar.u;
            at[1] = bar.y;
            at[2] = bar.v;
            at[3] = bar.y;
        }
    }
    // The counter: pixel pair i (both luma samples) is white for a set bit.
    for (int bit = 0; bit < kCounterBits && static_cast<std::size_t>(bit) < width_ / 2; ++bit) {
        const bool set = (frameNumber >> (kCounterBits - 1 - bit)) & 1u;
        std::uint8_t* at = pixels_.data() + bit * 4;
        at[0] = 128;
        at[1] = set ? kCounterWhite : kCounterBlack;
        at[2] = 128;
        at[3] = at[1];
    }
}

std::uint32_t PixelBufferSim::frameNumberOf(const std::uint8_t* frame)
{
    std::uint32_t number = 0;
    for (int bit = 0; bit < kCounterBits; ++bit)
        number = (number << 1) | (frame[bit * 4 + 1] > 128 ? 1u : 0u);
    return number;
}

}  // namespace uvccam::platform
