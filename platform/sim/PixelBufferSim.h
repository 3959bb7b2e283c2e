// A simulated frame: packed 4:2:2 Y'CbCr pixels with a moving test pattern and a counter.
#pragma once

#include "platform/CaptureService.h"

#include <cstdint>
#include <vector>

namespace uvccam::platform {

class PixelBufferSim : public PixelBuffer {
public:
    // Rows are padded to 64 bytes, as capture hardware usually lays them out.
    PixelBufferSim(std::size_t width, std::size_t height);

    void lockBaseAddress() override { ++locks_; }
    void unlockBaseAddress() override { --locks_; }
    // Only valid while locked; nullptr otherwise, as a careless reader would find out.
    std::uint8_t* baseAddress() override { return locks_ > 0 ? pixels_.data() : nullptr; }
    std::size_t bytesPerRow() const override { return bytesPerRow_; }
    std::size_t width() const override { return width_; }
    std::size_t height() const override { return height_; }

    bool isLocked() const { return locks_ > 0; }
    const std::uint8_t* pixels() const { return pixels_.data(); }

    // Colour bars that move four pixels per frame, and the frame number written as 32
    // black or white pixel pairs at the start of the first row (most significant first).
    void drawTestFrame(std::uint32_t frameNumber);

    // Reads the frame number back from a frame's first row.
    static std::uint32_t frameNumberOf(const std::uint8_t* frame);

private:
    std::size_t width_;
    std::size_t height_;
    std::size_t bytesPerRow_;
    std::vector<std::uint8_t> pixels_;
    int locks_ = 0;
};

}  // namespace uvccam::platform
