// The video data output of GStreamer capture sessions: plain settings and a weakly held delegate.
#include "platform/linux/VideoDataOutputGst.h"

namespace uvccam::platform {

void VideoDataOutputGst::setVideoSettings(const VideoSettings& settings)
{
    settings_ = settings;
}

VideoSettings VideoDataOutputGst::videoSettings() const
{
    return settings_;
}

void VideoDataOutputGst::setAlwaysDiscardsLateVideoFrames(bool discard)
{
    discardsLateFrames_ = discard;
}

bool VideoDataOutputGst::alwaysDiscardsLateVideoFrames() const
{
    return discardsLateFrames_;
}

void VideoDataOutputGst::setSampleBufferDelegate(std::weak_ptr<SampleBufferDelegate> delegate)
{
    delegate_ = std::move(delegate);
}

std::shared_ptr<SampleBufferDelegate> VideoDataOutputGst::sampleBufferDelegate() const
{
    return delegate_.lock();
}

}  // namespace uvccam::platform
