// Maps a GstSample's video frame on lock and unmaps it on unlock, honouring the buffer's own row stride.
#include "platform/linux/PixelBufferGst.h"

#include <gst/gst.h>
#include <gst/video/video.h>

namespace uvccam::platform {

struct PixelBufferGst::Mapping {
    GstMapInfo map;
};

PixelBufferGst::PixelBufferGst(GstSample* sample) : sample_(sample)
{
    GstVideoInfo info;
    GstCaps* caps = sample_ ? gst_sample_get_caps(sample_) : nullptr;
    if (!caps || !gst_video_info_from_caps(&info, caps))
        return;  // no description: a frame of no size, which the library passes over
    width_ = static_cast<std::size_t>(GST_VIDEO_INFO_WIDTH(&info));
    height_ = static_cast<std::size_t>(GST_VIDEO_INFO_HEIGHT(&info));
    // A source may lay rows out wider than the caps say (a driver's padded lines); the
    // buffer's video meta then carries the real stride, as the mapped frame will.
    GstBuffer* pixels = buffer();
    const GstVideoMeta* meta = pixels ? gst_buffer_get_video_meta(pixels) : nullptr;
    const gint stride = meta ? meta->stride[0] : GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
    bytesPerRow_ = stride > 0 ? static_cast<std::size_t>(stride) : 0;
    planeOffset_ = meta ? meta->offset[0] : GST_VIDEO_INFO_PLANE_OFFSET(&info, 0);
    // The layout is known now; a lock then only maps memory, which keeps the frame path as
    // cheap as a plain appsink reader's.
    frameBytes_ = planeOffset_ + bytesPerRow_ * height_;
}

PixelBufferGst::~PixelBufferGst()
{
    if (mapping_)
        gst_buffer_unmap(buffer(), &mapping_->map);
    if (sample_)
        gst_sample_unref(sample_);
}

GstBuffer* PixelBufferGst::buffer() const
{
    return sample_ ? gst_sample_get_buffer(sample_) : nullptr;
}

void PixelBufferGst::lockBaseAddress()
{
    if (locks_++ > 0)
        return;
    GstBuffer* pixels = buffer();
    if (!pixels || bytesPerRow_ == 0)
        return;
    auto mapping = std::make_unique<Mapping>();
    // Read-only: the memory may be shared with other holders of the buffer, and the
    // library's callback contract lets the host read the frame, not keep or change it.
    if (!gst_buffer_map(pixels, &mapping->map, GST_MAP_READ))
        return;
    // A buffer shorter than its caps say would let a reader run past its end.
    if (mapping->map.size < frameBytes_) {
        gst_buffer_unmap(pixels, &mapping->map);
        return;
    }
    base_ = mapping->map.data + planeOffset_;
    mapping_ = std::move(mapping);
}

void PixelBufferGst::unlockBaseAddress()
{
    if (locks_ == 0 || --locks_ > 0)
        return;
    if (mapping_) {
        gst_buffer_unmap(buffer(), &mapping_->map);
        mapping_.reset();
    }
    base_ = nullptr;
}

}  // namespace uvccam::platform
