// Maps a GstSample's video frame on lock and unmaps it on unlock, honouring the buffer's own row stride.
#include "platform/linux/PixelBufferGst.h"

#include <gst/gst.h>
#include <gst/video/video.h>

namespace uvccam::platform {

struct PixelBufferGst::Mapping {
    GstVideoFrame frame;
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
}

PixelBufferGst::~PixelBufferGst()
{
    if (mapping_)
        gst_video_frame_unmap(&mapping_->frame);
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
    GstCaps* caps = sample_ ? gst_sample_get_caps(sample_) : nullptr;
    GstVideoInfo info;
    if (!pixels || !caps || !gst_video_info_from_caps(&info, caps))
        return;
    auto mapping = std::make_unique<Mapping>();
    // Read-only: the memory may be shared with other holders of the buffer, and the
    // library's callback contract lets the host read the frame, not keep or change it.
    if (!gst_video_frame_map(&mapping->frame, &info, pixels, GST_MAP_READ))
        return;
    base_ = static_cast<std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&mapping->frame, 0));
    mapping_ = std::move(mapping);
}

void PixelBufferGst::unlockBaseAddress()
{
    if (locks_ == 0 || --locks_ > 0)
        return;
    if (mapping_) {
        gst_video_frame_unmap(&mapping_->frame);
        mapping_.reset();
    }
    base_ = nullptr;
}

}  // namespace uvccam::platform
