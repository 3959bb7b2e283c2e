// The frame callback's receiver, and the stream's start, wait and stop.
#include "Streaming.h"

#include "FrameImage.h"

#include <QDir>
#include <QFileInfo>

#include <cstring>

namespace uvccamctl {

namespace {

// Frames come every 33 ms at 30 frames a second; a shorter step stops close to the count.
constexpr double kStep = 0.01;

// The library calls back through a plain function, so the receiver is reached through a
// static pointer; it is cleared before the stream's frames could reach a receiver gone.
class FrameSink {
public:
    FrameSink(Session& session, std::optional<int> limit, bool keepFrame)
        : session_(session), limit_(limit), keepFrame_(keepFrame)
    {
        current_ = this;
    }
    ~FrameSink() { current_ = nullptr; }

    FrameSink(const FrameSink&) = delete;
    FrameSink& operator=(const FrameSink&) = delete;

    static void receive(unsigned char* frame, int width, int height, int size)
    {
        if (current_)
            current_->take(frame, width, height, size);
    }

    int frames() const { return frames_; }
    bool full() const { return limit_ && frames_ >= *limit_; }
    std::optional<double> rate() const
    {
        if (frames_ < 2 || last_ <= first_)
            return std::nullopt;
        return (frames_ - 1) / (last_ - first_);
    }
    int width() const { return width_; }
    int height() const { return height_; }
    int size() const { return size_; }
    const QByteArray& lastFrame() const { return lastFrame_; }

private:
    void take(const unsigned char* frame, int width, int height, int size)
    {
        if (full())
            return;
        const double now = session_.now();
        if (frames_ == 0)
            first_ = now;
        last_ = now;
        ++frames_;
        width_ = width;
        height_ = height;
        size_ = size;
        // The frame is valid only during this call; copy it into the same buffer each time.
        if (keepFrame_ && frame && size > 0) {
            lastFrame_.resize(size);
            std::memcpy(lastFrame_.data(), frame, static_cast<std::size_t>(size));
        }
    }

    static inline FrameSink* current_ = nullptr;
    Session& session_;
    std::optional<int> limit_;
    bool keepFrame_;
    int frames_ = 0;
    double first_ = 0;
    double last_ = 0;
    int width_ = 0;
    int height_ = 0;
    int size_ = 0;
    QByteArray lastFrame_;
};

QString writeSnapshot(const FrameSink& sink, const QString& path)
{
    if (sink.lastFrame().isEmpty())
        return QStringLiteral("no frame arrived");
    const QImage image = imageFrom2vuy(sink.lastFrame(), sink.width(), sink.height());
    if (image.isNull())
        return QStringLiteral("the frame's sizes do not fit together (%1 x %2, %3 bytes)").arg(sink.width()).arg(sink.height()).arg(sink.size());
    if (!image.save(path, "PNG"))
        return QStringLiteral("could not write %1").arg(path);
    return QString();
}

}  // namespace

std::optional<QString> takeSnapshotOption(Arguments& arguments)
{
    const std::optional<QString> path = arguments.takeOption(QStringLiteral("--snapshot"));
    if (!path)
        return std::nullopt;
    const QFileInfo file(*path);
    if (file.suffix().compare(QLatin1String("png"), Qt::CaseInsensitive) != 0) {
        arguments.fail(QStringLiteral("--snapshot '%1' must name a .png file").arg(*path));
        return std::nullopt;
    }
    if (!file.absoluteDir().exists()) {
        arguments.fail(QStringLiteral("--snapshot '%1': the directory does not exist").arg(*path));
        return std::nullopt;
    }
    return file.absoluteFilePath();
}

QString describeStream(const StreamResult& result)
{
    return QStringLiteral("%1 frames in %2 s, %3 frames per second (%4 x %5, %6 bytes each)")
        .arg(result.frames)
        .arg(result.seconds, 0, 'f', 2)
        .arg(result.rate ? QString::number(*result.rate, 'f', 1) : QStringLiteral("n/a"))
        .arg(result.width)
        .arg(result.height)
        .arg(result.frameBytes);
}

std::optional<StreamResult> streamFrames(Session& session, const StreamRequest& request)
{
    UVCCam& camera = session.camera();
    FrameSink sink(session, request.frames, !request.snapshot.isEmpty());
    StreamResult result;
    session.events().onDeviceRemove = [&result] { result.deviceLeft = true; };

    // The callback is handed to the camera when the stream starts, so set it first.
    camera.setVideoCallback(&FrameSink::receive);
    if (camera.startVideoStream(0) != 0) {
        camera.setVideoCallback(nullptr);
        session.events().onDeviceRemove = nullptr;
        return std::nullopt;
    }
    const double start = session.now();
    auto elapsed = [&] { return session.now() - start; };
    while (!sink.full() && !(request.seconds && elapsed() >= *request.seconds) && !result.deviceLeft) {
        const double step = request.seconds ? std::min(kStep, *request.seconds - elapsed()) : kStep;
        if (!session.wait(step)) {
            result.interrupted = true;
            break;
        }
        const std::optional<double> rate = sink.rate();
        session.console().status(QStringLiteral("streaming: %1 frames in %2 s%3")
                                     .arg(sink.frames())
                                     .arg(elapsed(), 0, 'f', 1)
                                     .arg(rate ? QStringLiteral(", %1 frames per second").arg(*rate, 0, 'f', 1) : QString()));
    }
    session.console().endStatus();
    // A camera that left has had its stream stopped by the library already.
    camera.stopVideoStream();
    camera.setVideoCallback(nullptr);
    session.events().onDeviceRemove = nullptr;

    result.frames = sink.frames();
    result.seconds = elapsed();
    result.rate = sink.rate();
    result.width = sink.width();
    result.height = sink.height();
    result.frameBytes = sink.size();
    if (!request.snapshot.isEmpty())
        result.snapshotProblem = writeSnapshot(sink, request.snapshot);
    return result;
}

}  // namespace uvccamctl
