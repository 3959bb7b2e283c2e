// Cameras over video4linux: which nodes capture video, their identity texts, hot-plug through udev, and their sessions.
#include "platform/linux/CaptureServiceV4l2.h"

#include "platform/linux/AudioFileOutputGst.h"
#include "platform/linux/AudioRecorderGst.h"
#include "platform/linux/VideoDataOutputGst.h"

#include <QLoggingCategory>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcCapture, "uvccam.linux.capture", QtInfoMsg)

namespace uvccam::platform {

namespace {

constexpr const char* kSubsystem = "video4linux";

// Asks the node itself, for systems whose udev did not describe it (no udev daemon, as in
// many containers). A node we may not open cannot be told apart from a metadata node, and
// could not be captured from either, so it is passed over with a word on why.
bool nodeCapturesVideo(const QString& devnode)
{
    const QByteArray path = devnode.toLocal8Bit();
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        qCWarning(lcCapture, "cannot open %s to ask what it captures (%s); it is not listed. Installing "
                             "udev/70-uvccam.rules gives the logged-in user access to the maker's cameras",
                  path.constData(), std::strerror(errno));
        return false;
    }
    v4l2_capability capability{};
    int result;
    do {
        result = ::ioctl(fd, VIDIOC_QUERYCAP, &capability);
    } while (result < 0 && errno == EINTR);
    ::close(fd);
    if (result < 0)
        return false;
    // device_caps describes this node; capabilities covers every node of the driver.
    const std::uint32_t caps =
        (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps : capability.capabilities;
    return (caps & V4L2_CAP_VIDEO_CAPTURE) != 0;
}


}  // namespace

bool CaptureDeviceV4l2::capturesVideo(const UdevRecord& record)
{
    const QByteArray capabilities = record.property("ID_V4L_CAPABILITIES");
    if (!capabilities.isEmpty())
        return capabilities.contains(":capture:");
    return !record.devnode.isEmpty() && nodeCapturesVideo(record.devnode);
}

std::shared_ptr<CaptureDeviceV4l2> CaptureDeviceV4l2::fromRecord(const UdevRecord& record)
{
    if (!record.usb || record.usb->locationId == 0)
        return nullptr;
    const UsbParent& usb = *record.usb;
    std::shared_ptr<CaptureDeviceV4l2> device(new CaptureDeviceV4l2());
    device->syspath_ = record.syspath;
    device->devnode_ = record.devnode;
    device->uniqueID_ = QStringLiteral("0x%1%2%3")
                            .arg(usb.locationId, 8, 16, QLatin1Char('0'))
                            .arg(usb.vendorId, 4, 16, QLatin1Char('0'))
                            .arg(usb.productId, 4, 16, QLatin1Char('0'));
    device->modelID_ = QStringLiteral("UVC Camera VendorID_%1 ProductID_%2").arg(usb.vendorId).arg(usb.productId);
    // The library names models by the USB product string. A device without one still gets
    // the name its driver gave the node, so that it can at least be told apart.
    device->localizedName_ = !usb.product.isEmpty() ? usb.product
                                                    : QString::fromUtf8(record.property("ID_V4L_PRODUCT")).trimmed();
    return device;
}

CaptureSessionGst::MicrophoneSourceFactory CaptureServiceV4l2::soundServerSource()
{
    return [](const CaptureDevicePtr& microphone) -> GstElement* {
        const auto fromServer = std::dynamic_pointer_cast<CaptureDevicePulse>(microphone);
        return fromServer ? AudioRecorderGst::soundServerSource(fromServer->sourceName()) : nullptr;
    };
}

CaptureServiceV4l2::CaptureServiceV4l2(std::shared_ptr<UdevWatcher> watcher, RunLoop& runLoop,
                                       CaptureSessionGst::SourceFactory makeSource,
                                       MicrophoneListFactory makeMicrophones,
                                       CaptureSessionGst::MicrophoneSourceFactory makeMicrophoneSource)
    : watcher_(std::move(watcher)),
      runLoop_(runLoop),
      makeSource_(std::move(makeSource)),
      makeMicrophones_(std::move(makeMicrophones)),
      makeMicrophoneSource_(std::move(makeMicrophoneSource))
{
    if (!watcher_)
        return;  // the watcher's creation has said why
    listenerId_ = watcher_->addListener(kSubsystem, [this](UdevWatcher::Action action, const UdevRecord& record) {
        if (action == UdevWatcher::Action::Added)
            arrived(record);
        else
            left(record);
    });
    for (const UdevRecord& record : watcher_->enumerate(kSubsystem)) {
        if (!CaptureDeviceV4l2::capturesVideo(record))
            continue;
        if (auto device = CaptureDeviceV4l2::fromRecord(record)) {
            qCDebug(lcCapture) << "camera" << device->localizedName() << device->uniqueID() << "at" << device->devnode();
            devices_.push_back(std::move(device));
        }
    }
}

CaptureServiceV4l2::~CaptureServiceV4l2()
{
    if (watcher_)
        watcher_->removeListener(listenerId_);
}

void CaptureServiceV4l2::arrived(const UdevRecord& record)
{
    // The monitor runs from the watcher's creation: a camera plugged in between then and
    // our listing is listed already when its arrival is read, and is not announced twice.
    const bool known = std::any_of(devices_.begin(), devices_.end(),
                                   [&record](const auto& device) { return device->syspath() == record.syspath; });
    if (known || !CaptureDeviceV4l2::capturesVideo(record))
        return;
    auto device = CaptureDeviceV4l2::fromRecord(record);
    if (!device)
        return;
    qCDebug(lcCapture) << "camera arrived:" << device->localizedName() << device->uniqueID() << "at" << device->devnode();
    devices_.push_back(device);
    announce(CaptureDeviceNotification::Name::WasConnected, device);
}

void CaptureServiceV4l2::left(const UdevRecord& record)
{
    const auto found = std::find_if(devices_.begin(), devices_.end(),
                                    [&record](const auto& device) { return device->syspath() == record.syspath; });
    if (found == devices_.end())
        return;  // a metadata node, or a node that was never listed
    const std::shared_ptr<CaptureDeviceV4l2> device = *found;
    devices_.erase(found);
    device->markDisconnected();
    qCDebug(lcCapture) << "camera left:" << device->localizedName() << device->uniqueID();
    // v4l2src reports a vanished node as an error too; whichever comes first ends the session.
    for (const auto& weak : sessions_) {
        if (auto session = weak.lock())
            session->cameraLeft(device);
    }
    announce(CaptureDeviceNotification::Name::WasDisconnected, device);
}

AudioSourcesPulse* CaptureServiceV4l2::microphones()
{
    if (!microphones_ && makeMicrophones_) {
        microphones_ = makeMicrophones_();
        makeMicrophones_ = nullptr;
        if (microphones_) {
            microphones_->setListener([this](CaptureDeviceNotification::Name name,
                                             const std::shared_ptr<CaptureDevicePulse>& device) {
                microphoneChanged(name, device);
            });
        }
    }
    return microphones_.get();
}

void CaptureServiceV4l2::microphoneChanged(CaptureDeviceNotification::Name name,
                                           const std::shared_ptr<CaptureDevicePulse>& device)
{
    if (name == CaptureDeviceNotification::Name::WasDisconnected) {
        qCDebug(lcCapture) << "microphone left:" << device->localizedName() << device->uniqueID();
        // The server moves a vanished source's recordings to another source; the library
        // asked for this microphone, so its recordings end instead.
        for (const auto& weak : sessions_) {
            if (auto session = weak.lock())
                session->microphoneLeft(device);
        }
    } else {
        qCDebug(lcCapture) << "microphone arrived:" << device->localizedName() << device->uniqueID();
    }
    announce(name, device);
}

void CaptureServiceV4l2::announce(CaptureDeviceNotification::Name name, const CaptureDevicePtr& device)
{
    const CaptureDeviceNotification notification{name, device};
    observers_.post(runLoop_, [notification](const Observer& observer) { observer(notification); });
}

QList<CaptureDevicePtr> CaptureServiceV4l2::devicesWithMediaType(MediaType type)
{
    QList<CaptureDevicePtr> devices;
    if (type == MediaType::Video) {
        for (const auto& device : devices_)
            devices.append(device);
    } else if (AudioSourcesPulse* list = microphones()) {
        for (const auto& device : list->devices())
            devices.append(device);
    }
    return devices;
}

CaptureService::ObserverId CaptureServiceV4l2::addObserver(Observer observer)
{
    return observers_.add(std::move(observer));
}

void CaptureServiceV4l2::removeObserver(ObserverId id)
{
    observers_.remove(id);
}

CaptureDevicePtr CaptureServiceV4l2::defaultDeviceWithMediaType(MediaType type)
{
    if (type == MediaType::Audio)
        return microphones() ? microphones()->defaultDevice() : nullptr;
    if (devices_.empty())
        return nullptr;
    return devices_.front();
}

CaptureSessionPtr CaptureServiceV4l2::createSession()
{
    // Weak references only: a session may outlive the service.
    std::weak_ptr<ObserverList<SessionStartObserver>> observers = sessionStartObservers_;
    RunLoop* runLoop = &runLoop_;
    auto announceStart = [observers, runLoop](const CaptureSessionGst& started) {
        const auto current = observers.lock();
        if (!current)
            return;
        const QString description = QStringLiteral("CaptureSessionDidStartRunning session=%1")
                                        .arg(reinterpret_cast<quintptr>(&started), 0, 16);
        current->post(*runLoop, [description](const SessionStartObserver& observer) { observer(description); });
    };
    auto session = std::make_shared<CaptureSessionGst>(makeSource_, announceStart, makeMicrophoneSource_);
    sessions_.erase(std::remove_if(sessions_.begin(), sessions_.end(), [](const auto& weak) { return weak.expired(); }),
                    sessions_.end());
    sessions_.push_back(session);
    return session;
}

CaptureDeviceInputPtr CaptureServiceV4l2::deviceInputWithDevice(const CaptureDevicePtr& device, QString* error)
{
    const bool listed = devicesWithMediaType(MediaType::Video).contains(device)
                        || devicesWithMediaType(MediaType::Audio).contains(device);
    if (!device || !listed || !device->isConnected()) {
        if (error) {
            *error = device ? QStringLiteral("Cannot use %1: the device is not connected").arg(device->localizedName())
                            : QStringLiteral("Cannot open a capture input: no device");
        }
        return nullptr;
    }
    return std::make_shared<CaptureDeviceInputV4l2>(device);
}

VideoDataOutputPtr CaptureServiceV4l2::createVideoDataOutput()
{
    return std::make_shared<VideoDataOutputGst>();
}

AudioFileOutputPtr CaptureServiceV4l2::createAudioFileOutput()
{
    return std::make_shared<AudioFileOutputGst>();
}

CaptureService::ObserverId CaptureServiceV4l2::addSessionStartObserver(SessionStartObserver observer)
{
    return sessionStartObservers_->add(std::move(observer));
}

void CaptureServiceV4l2::removeSessionStartObserver(ObserverId id)
{
    sessionStartObservers_->remove(id);
}

}  // namespace uvccam::platform
