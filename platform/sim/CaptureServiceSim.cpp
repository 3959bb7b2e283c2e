// Simulated capture devices, announced through the run loop like the operating system's.
#include "platform/sim/CaptureServiceSim.h"

#include <algorithm>

namespace uvccam::platform {

namespace {
// What a camera sends when the output asks for no particular size.
constexpr std::size_t kDefaultFrameWidth = 640;
constexpr std::size_t kDefaultFrameHeight = 360;
}  // namespace

QString CaptureDeviceSim::modelID() const
{
    return device_->isCamera() ? device_->captureModelID() : QStringLiteral("USB Audio Device");
}

bool CaptureDeviceSim::hasMediaType(MediaType type) const
{
    return type == MediaType::Video ? device_->hasVideo() : device_->hasAudio();
}

bool CaptureSessionSim::canAddInput(const CaptureDeviceInputPtr& input) const
{
    if (!input || !input->device() || !input->device()->isConnected())
        return false;
    return std::find(inputs_.begin(), inputs_.end(), input) == inputs_.end();
}

void CaptureSessionSim::addInput(const CaptureDeviceInputPtr& input)
{
    if (canAddInput(input))
        inputs_.push_back(input);
}

void CaptureSessionSim::addOutput(const VideoDataOutputPtr& output)
{
    if (output && std::find(outputs_.begin(), outputs_.end(), output) == outputs_.end())
        outputs_.push_back(output);
}

void CaptureSessionSim::removeOutput(const VideoDataOutputPtr& output)
{
    outputs_.erase(std::remove(outputs_.begin(), outputs_.end(), output), outputs_.end());
}

CaptureSessionSim::~CaptureSessionSim()
{
    stopRunning();
}

void CaptureSessionSim::startRunning()
{
    if (running_)
        return;
    running_ = true;
    auto simulator = simulator_.lock();
    auto device = camera();
    if (!simulator || !device)
        return;
    frameTimer_ = simulator->runLoop().scheduleRepeating(device->frameInterval(), [this] { deliverFrame(); });
}

void CaptureSessionSim::stopRunning()
{
    running_ = false;
    if (frameTimer_ == 0)
        return;
    if (auto simulator = simulator_.lock())
        simulator->runLoop().cancel(frameTimer_);
    frameTimer_ = 0;
}

std::shared_ptr<SimulatedDevice> CaptureSessionSim::camera() const
{
    for (const auto& input : inputs_) {
        if (auto device = std::dynamic_pointer_cast<CaptureDeviceSim>(input->device()))
            return device->simulatedDevice();
    }
    return nullptr;
}

std::shared_ptr<PixelBufferSim> CaptureSessionSim::takeBuffer(std::size_t width, std::size_t height)
{
    for (const auto& buffer : pool_) {
        if (buffer.use_count() == 1 && buffer->width() == width && buffer->height() == height)
            return buffer;
    }
    pool_.push_back(std::make_shared<PixelBufferSim>(width, height));
    return pool_.back();
}

void CaptureSessionSim::deliverFrame()
{
    auto simulator = simulator_.lock();
    auto device = camera();
    // An unplugged camera sends nothing more.
    if (!simulator || !device || !device->isAttached())
        return;
    const auto frameNumber = static_cast<std::uint32_t>(simulator->runLoop().now() / device->frameInterval());
    // A delegate may change the outputs while it runs.
    const auto outputs = outputs_;
    for (const auto& output : outputs) {
        auto delegate = output->sampleBufferDelegate();
        if (!delegate)
            continue;
        const VideoSettings settings = output->videoSettings();
        const std::size_t width = settings.width > 0 ? static_cast<std::size_t>(settings.width) : kDefaultFrameWidth;
        const std::size_t height = settings.height > 0 ? static_cast<std::size_t>(settings.height) : kDefaultFrameHeight;
        auto buffer = takeBuffer(width, height);
        buffer->drawTestFrame(frameNumber);
        ++framesDelivered_;
        delegate->captureOutput(*output, buffer);
    }
}

CaptureServiceSim::CaptureServiceSim(std::shared_ptr<Simulator> simulator) : simulator_(std::move(simulator))
{
    listenerId_ = simulator_->addListener([this](Simulator::Change change, const std::shared_ptr<SimulatedDevice>& device) {
        announce(change == Simulator::Change::Attached ? CaptureDeviceNotification::Name::WasConnected
                                                       : CaptureDeviceNotification::Name::WasDisconnected,
                 device);
    });
}

CaptureServiceSim::~CaptureServiceSim()
{
    simulator_->removeListener(listenerId_);
}

QList<CaptureDevicePtr> CaptureServiceSim::devicesWithMediaType(MediaType type)
{
    QList<CaptureDevicePtr> devices;
    for (const auto& device : simulator_->attachedDevices()) {
        auto captureDevice = captureDeviceFor(device);
        if (captureDevice->hasMediaType(type))
            devices.append(captureDevice);
    }
    return devices;
}

CaptureService::ObserverId CaptureServiceSim::addObserver(Observer observer)
{
    const ObserverId id = observers_->nextId++;
    observers_->byId.emplace(id, std::move(observer));
    return id;
}

void CaptureServiceSim::removeObserver(ObserverId id)
{
    observers_->byId.erase(id);
}

CaptureSessionPtr CaptureServiceSim::createSession()
{
    auto session = std::make_shared<CaptureSessionSim>(simulator_);
    sessions_.erase(std::remove_if(sessions_.begin(), sessions_.end(), [](const auto& weak) { return weak.expired(); }),
                    sessions_.end());
    sessions_.push_back(session);
    return session;
}

CaptureDeviceInputPtr CaptureServiceSim::deviceInputWithDevice(const CaptureDevicePtr& device)
{
    if (!device || !device->isConnected())
        return nullptr;
    return std::make_shared<CaptureDeviceInputSim>(device);
}

VideoDataOutputPtr CaptureServiceSim::createVideoDataOutput()
{
    return std::make_shared<VideoDataOutputSim>();
}

std::vector<std::shared_ptr<CaptureSessionSim>> CaptureServiceSim::sessions() const
{
    std::vector<std::shared_ptr<CaptureSessionSim>> alive;
    for (const auto& weak : sessions_) {
        if (auto session = weak.lock())
            alive.push_back(session);
    }
    return alive;
}

CaptureDevicePtr CaptureServiceSim::captureDeviceFor(const std::shared_ptr<SimulatedDevice>& device)
{
    // One object per device, as the operating system keeps one per attached device.
    auto& captureDevice = captureDevices_[device.get()];
    if (!captureDevice)
        captureDevice = std::make_shared<CaptureDeviceSim>(device);
    return captureDevice;
}

void CaptureServiceSim::announce(CaptureDeviceNotification::Name name, const std::shared_ptr<SimulatedDevice>& device)
{
    CaptureDeviceNotification notification{name, captureDeviceFor(device)};
    if (name == CaptureDeviceNotification::Name::WasDisconnected)
        captureDevices_.erase(device.get());

    // Observers registered now hear of the change; one that subscribes later finds the
    // device (or its absence) in its own enumeration instead.
    std::vector<ObserverId> recipients;
    for (const auto& entry : observers_->byId)
        recipients.push_back(entry.first);
    if (recipients.empty())
        return;

    std::weak_ptr<Observers> observers = observers_;
    simulator_->runLoop().dispatchAfter(Duration::zero(), [observers, recipients, notification] {
        for (ObserverId id : recipients) {
            auto current = observers.lock();
            if (!current)
                return;
            auto it = current->byId.find(id);
            if (it == current->byId.end())
                continue;
            // A copy, so that an observer may remove itself while it is called.
            auto observer = it->second;
            observer(notification);
        }
    });
}

}  // namespace uvccam::platform
