// A captured frame that is GStreamer's own buffer: mapped in place while locked, never copied.
#pragma once

#include "platform/CaptureService.h"

#include <cstddef>
#include <cstdint>
#include <memory>

typedef struct _GstSample GstSample;
typedef struct _GstBuffer GstBuffer;

namespace uvccam::platform {

// Holds a reference to the sample the appsink handed over, so the capture chain cannot
// reuse the buffer's memory while the library or the host still reads it. The pixels are
// mapped at the first lock and unmapped at the last unlock; the base address is valid only
// in between (nullptr otherwise, as on the simulator). Locking happens on the main thread.
class PixelBufferGst : public PixelBuffer {
public:
    // Takes over the caller's reference to `sample`, whose caps describe raw video.
    explicit PixelBufferGst(GstSample* sample);
    ~PixelBufferGst() override;

    PixelBufferGst(const PixelBufferGst&) = delete;
    PixelBufferGst& operator=(const PixelBufferGst&) = delete;

    void lockBaseAddress() override;
    void unlockBaseAddress() override;
    std::uint8_t* baseAddress() override { return base_; }
    std::size_t bytesPerRow() const override { return bytesPerRow_; }
    std::size_t width() const override { return width_; }
    std::size_t height() const override { return height_; }

    bool isLocked() const { return locks_ > 0; }
    // The buffer whose memory baseAddress() points into.
    GstBuffer* buffer() const;

private:
    struct Mapping;

    GstSample* sample_;
    std::size_t width_ = 0;
    std::size_t height_ = 0;
    std::size_t bytesPerRow_ = 0;
    std::size_t planeOffset_ = 0;
    std::size_t frameBytes_ = 0;  // the bytes a reader of every row reaches from the buffer's start
    int locks_ = 0;
    std::uint8_t* base_ = nullptr;
    std::unique_ptr<Mapping> mapping_;
};

}  // namespace uvccam::platform
