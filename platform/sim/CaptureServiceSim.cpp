// Simulated capture devices, announced through the run loop like the operating system's.
#include "platform/sim/CaptureServiceSim.h"

#include "platform/linux/M4aFileWriterGst.h"

#include <algorithm>
#include <cmath>

namespace uvccam::platform {

namespace {
// What a camera sends when the output asks for no particular size.
constexpr std::size_t kDefaultFrameWidth = 640;
constexpr std::size_t kDefaultFrameHeight = 360;
// The tone a simulated microphone hears.
constexpr double kToneHz = 440.0;
constexpr double kPi = 3.14159265358979323846;

}  // namespace

QString CaptureDeviceSim::uniqueID() const
{
    return function_ == Function::Video ? device_->captureUniqueID() : device_->audioCaptureUniqueID();
}

QString CaptureDeviceSim::localizedName() const
{
    // A speakerphone's microphone is the product itself.
    if (function_ == Function::Microphone && device_->isCamera())
        return device_->profile().productName + QStringLiteral(" Microphone");
    return device_->profile().productName;
}

QString CaptureDeviceSim::modelID() const
{
    return function_ == Function::Video ? device_->captureModelID() : QStringLiteral("USB Audio Device");
}

bool CaptureDeviceSim::hasMediaType(MediaType type) const
{
    return type == (function_ == Function::Video ? MediaType::Video : MediaType::Audio);
}

std::vector<CaptureConnection> AudioFileOutputSim::connections() const
{
    const CaptureDevicePtr microphone = session_ ? session_->microphone() : nullptr;
    if (!microphone)
        return {};
    const auto simulator = simulator_.lock();
    const auto level = static_cast<float>(CaptureSessionSim::levelOf(microphone, simulator.get()));
    return {CaptureConnection{{AudioChannel{level}, AudioChannel{level}}}};
}

void AudioFileOutputSim::startRecordingToOutputFileURL(const QString& path, AudioFileType,
                                                       std::weak_ptr<FileOutputRecordingDelegate> recordingDelegate)
{
    if (recording_ && path == path_)
        return;
    if (recording_)
        finishRecording();
    path_ = path;
    delegate_ = std::move(recordingDelegate);
    requested_ = true;
    if (sessionRunning())
        beginRecording();
}

QString AudioFileOutputSim::description() const
{
    return QStringLiteral("<AudioFileOutputSim %1%2>")
        .arg(reinterpret_cast<quintptr>(this), 0, 16)
        .arg(recording_ ? QStringLiteral(" recording to ") + path_ : QString());
}

void AudioFileOutputSim::sessionStarted()
{
    if (requested_ && !recording_)
        beginRecording();
}

void AudioFileOutputSim::sessionStopped()
{
    if (recording_)
        finishRecording();
}

bool AudioFileOutputSim::sessionRunning() const
{
    return session_ && session_->isRunning();
}

void AudioFileOutputSim::beginRecording()
{
    auto simulator = simulator_.lock();
    if (!simulator)
        return;
    recording_ = true;
    recordingSince_ = simulator->runLoop().now();
}

void AudioFileOutputSim::finishRecording()
{
    recording_ = false;
    requested_ = false;
    auto simulator = simulator_.lock();
    if (!simulator)
        return;
    const std::vector<CaptureConnection> heard = connections();
    const double level = heard.empty() ? -HUGE_VAL : heard.front().audioChannels.front().averagePowerLevel;
    const double seconds = std::chrono::duration<double>(simulator->runLoop().now() - recordingSince_).count();

    // Written now, in real time: the virtual clock does not move while the encoder works.
    const double amplitude = std::isfinite(level) ? std::min(1.0, std::pow(10.0, level / 20.0)) * 32767.0 : 0.0;
    std::vector<std::int16_t> samples(static_cast<std::size_t>(seconds * kSampleRate));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(amplitude * std::sin(2.0 * kPi * kToneHz * static_cast<double>(i) / kSampleRate));
    QString error;
    const bool written = writeM4aFile(path_, samples, kSampleRate, 1, &error);

    auto self = shared_from_this();
    simulator->runLoop().dispatchAfter(Duration::zero(), [self, path = path_, delegate = delegate_, heard, written, error] {
        if (auto receiver = delegate.lock())
            receiver->captureOutput(*self, path, heard, written ? nullptr : &error);
    });
}

bool CaptureSessionSim::canAddInput(const CaptureDeviceInputPtr& input) const
{
    if (!input || !input->device() || !input->device()->isConnected())
        return false;
    const auto simulated = std::dynamic_pointer_cast<CaptureDeviceSim>(input->device());
    if (simulated && simulated->function() == CaptureDeviceSim::Function::Microphone
        && simulated->simulatedDevice()->microphoneHeldElsewhere())
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

bool CaptureSessionSim::canAddOutput(const AudioFileOutputPtr& output) const
{
    // Only the simulator's own outputs, and each in one session only.
    const auto simulated = std::dynamic_pointer_cast<AudioFileOutputSim>(output);
    return simulated && !simulated->session();
}

void CaptureSessionSim::addOutput(const AudioFileOutputPtr& output)
{
    if (!canAddOutput(output))
        return;
    auto simulated = std::dynamic_pointer_cast<AudioFileOutputSim>(output);
    simulated->setSession(this);
    audioOutputs_.push_back(std::move(simulated));
}

CaptureDevicePtr CaptureSessionSim::microphone() const
{
    for (const auto& input : inputs_) {
        if (input->device()->hasMediaType(MediaType::Audio))
            return input->device();
    }
    return nullptr;
}

double CaptureSessionSim::levelOf(const CaptureDevicePtr& microphone, const Simulator* simulator)
{
    if (auto device = std::dynamic_pointer_cast<CaptureDeviceSim>(microphone))
        return device->simulatedDevice()->inputLevel();
    if (std::dynamic_pointer_cast<BuiltInMicrophoneSim>(microphone) && simulator)
        return simulator->builtInMicrophoneLevel();
    return -HUGE_VAL;
}

CaptureSessionSim::~CaptureSessionSim()
{
    stopRunning();
    for (const auto& output : audioOutputs_)
        output->setSession(nullptr);
}

void CaptureSessionSim::startRunning()
{
    if (running_)
        return;
    running_ = true;
    for (const auto& output : audioOutputs_)
        output->sessionStarted();
    if (announceStart_)
        announceStart_(*this);
    auto simulator = simulator_.lock();
    auto device = camera();
    if (!simulator || !device)
        return;
    frameTimer_ = simulator->runLoop().scheduleRepeating(device->frameInterval(), [this] { deliverFrame(); });
}

void CaptureSessionSim::stopRunning()
{
    if (running_) {
        running_ = false;
        for (const auto& output : audioOutputs_)
            output->sessionStopped();
    }
    if (frameTimer_ == 0)
        return;
    if (auto simulator = simulator_.lock())
        simulator->runLoop().cancel(frameTimer_);
    frameTimer_ = 0;
}

std::shared_ptr<SimulatedDevice> CaptureSessionSim::camera() const
{
    for (const auto& input : inputs_) {
        auto device = std::dynamic_pointer_cast<CaptureDeviceSim>(input->device());
        if (device && device->function() == CaptureDeviceSim::Function::Video)
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
    // The computer's own microphone comes first, as the system lists it.
    if (type == MediaType::Audio)
        devices.append(builtInMicrophone_);
    const Function function = type == MediaType::Video ? Function::Video : Function::Microphone;
    for (const auto& device : simulator_->attachedDevices()) {
        if (function == Function::Microphone || device->hasVideo())
            devices.append(captureDeviceFor(device, function));
    }
    return devices;
}

CaptureService::ObserverId CaptureServiceSim::addObserver(Observer observer)
{
    return observers_.add(std::move(observer));
}

void CaptureServiceSim::removeObserver(ObserverId id)
{
    observers_.remove(id);
}

CaptureDevicePtr CaptureServiceSim::defaultDeviceWithMediaType(MediaType type)
{
    if (type == MediaType::Audio)
        return builtInMicrophone_;
    const auto cameras = devicesWithMediaType(type);
    return cameras.isEmpty() ? nullptr : cameras.front();
}

CaptureService::ObserverId CaptureServiceSim::addSessionStartObserver(SessionStartObserver observer)
{
    return sessionStartObservers_->add(std::move(observer));
}

void CaptureServiceSim::removeSessionStartObserver(ObserverId id)
{
    sessionStartObservers_->remove(id);
}

CaptureSessionPtr CaptureServiceSim::createSession()
{
    // Weak references only: a session may outlive the service.
    std::weak_ptr<ObserverList<SessionStartObserver>> observers = sessionStartObservers_;
    std::weak_ptr<Simulator> weakSimulator = simulator_;
    auto announceStart = [observers, weakSimulator](const CaptureSessionSim& started) {
        auto current = observers.lock();
        auto simulator = weakSimulator.lock();
        if (!current || !simulator)
            return;
        const QString description = QStringLiteral("CaptureSessionDidStartRunning session=%1")
                                        .arg(reinterpret_cast<quintptr>(&started), 0, 16);
        current->post(simulator->runLoop(), [description](const SessionStartObserver& observer) { observer(description); });
    };
    auto session = std::make_shared<CaptureSessionSim>(simulator_, announceStart);
    sessions_.erase(std::remove_if(sessions_.begin(), sessions_.end(), [](const auto& weak) { return weak.expired(); }),
                    sessions_.end());
    sessions_.push_back(session);
    return session;
}

CaptureDeviceInputPtr CaptureServiceSim::deviceInputWithDevice(const CaptureDevicePtr& device, QString* error)
{
    if (!device || !device->isConnected()) {
        if (error)
            *error = device ? QStringLiteral("Cannot use %1: the device is not connected").arg(device->localizedName())
                            : QStringLiteral("Cannot open a capture input: no device");
        return nullptr;
    }
    return std::make_shared<CaptureDeviceInputSim>(device);
}

VideoDataOutputPtr CaptureServiceSim::createVideoDataOutput()
{
    return std::make_shared<VideoDataOutputSim>();
}

AudioFileOutputPtr CaptureServiceSim::createAudioFileOutput()
{
    return std::make_shared<AudioFileOutputSim>(simulator_);
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

CaptureDevicePtr CaptureServiceSim::captureDeviceFor(const std::shared_ptr<SimulatedDevice>& device, Function function)
{
    // One object per function of a device, as the operating system keeps one per
    // attached capture device.
    auto& captureDevice = captureDevices_[{device.get(), function}];
    if (!captureDevice)
        captureDevice = std::make_shared<CaptureDeviceSim>(device, function);
    return captureDevice;
}

void CaptureServiceSim::announce(CaptureDeviceNotification::Name name, const std::shared_ptr<SimulatedDevice>& device)
{
    // A camera's video and microphone come and go together, video first.
    std::vector<CaptureDeviceNotification> notifications;
    for (Function function : {Function::Video, Function::Microphone}) {
        if (function == Function::Video && !device->hasVideo())
            continue;
        notifications.push_back({name, captureDeviceFor(device, function)});
        if (name == CaptureDeviceNotification::Name::WasDisconnected)
            captureDevices_.erase({device.get(), function});
    }

    // Observers registered now hear of the change; one that subscribes later finds the
    // device (or its absence) in its own enumeration instead.
    for (const auto& notification : notifications)
        observers_.post(simulator_->runLoop(), [notification](const Observer& observer) { observer(notification); });
}

}  // namespace uvccam::platform
