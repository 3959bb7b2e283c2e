// libFuzzer target: every HID operation of the public interface against arbitrary device answers.
#include "UVCCam.h"
#include "platform/sim/LogSinkRecorder.h"
#include "platform/sim/RunLoopVirtual.h"
#include "platform/sim/Simulator.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace {

using namespace uvccam::platform;

constexpr std::size_t kMaxAnswer = 4096;
constexpr std::size_t kGuard = 32;
constexpr std::uint8_t kCanary = 0xA5;
constexpr std::uint8_t kFill = 0x5A;
constexpr int kOperations = 16;

// The simulated machine, made once: the devices stay attached and the camera object stays
// selected on them across inputs, as in a host that keeps talking to its devices.
struct World {
    std::shared_ptr<Simulator> simulator;
    RunLoopVirtual* clock = nullptr;
    LogSinkRecorder* log = nullptr;
    std::shared_ptr<SimulatedDevice> devices[2];  // the ST470 and the VOXA760
    QString ids[2];
    std::unique_ptr<UVCCam> cam;
};

[[noreturn]] void fail(const char* why)
{
    std::fprintf(stderr, "HidAnswerFuzz: %s\n", why);
    __builtin_trap();
}

World* makeWorld()
{
    auto* world = new World;  // lives as long as the process: the library's cores do too
    auto clock = std::make_unique<RunLoopVirtual>();
    auto log = std::make_unique<LogSinkRecorder>();
    world->clock = clock.get();
    world->log = log.get();
    world->simulator = Simulator::install(std::move(clock), std::move(log));

    DeviceProfile camera;
    camera.productName = QStringLiteral("Studio Caster LUM 470");
    camera.vendorId = 0x2A3B;
    camera.productId = 0x470A;
    DeviceProfile speakerphone;
    speakerphone.kind = DeviceProfile::Kind::Speakerphone;
    speakerphone.productName = QStringLiteral("VOXA760");
    speakerphone.vendorId = 0x2A3B;
    speakerphone.productId = 0x0760;
    world->devices[0] = world->simulator->attach(camera);
    world->devices[1] = world->simulator->attach(speakerphone);
    world->cam.reset(acquireUVCCam());
    world->clock->advance(std::chrono::milliseconds(10));

    const char* models[2] = {"ST470", "VOXA760"};
    for (const DeviceInfo& info : world->cam->getDeviceList()) {
        for (int i = 0; i < 2; ++i) {
            if (info.modelName == QLatin1String(models[i]))
                world->ids[i] = info.deviceUniqueId;
        }
    }
    if (world->ids[0].isEmpty() || world->ids[1].isEmpty())
        fail("the ST470 or the VOXA760 is not in the device list");
    return world;
}

// A caller's buffer with canaries on both sides: the library must write inside it only.
class Guarded {
public:
    explicit Guarded(std::size_t length) : bytes_(kGuard + length + kGuard, kCanary), length_(length)
    {
        std::fill_n(data(), length_, kFill);
    }
    std::uint8_t* data() { return bytes_.data() + kGuard; }
    void check() const
    {
        for (std::size_t i = 0; i < kGuard; ++i) {
            if (bytes_[i] != kCanary || bytes_[kGuard + length_ + i] != kCanary)
                fail("write outside the caller's buffer");
        }
    }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t length_;
};

void expectIn(int result, int low, int high)
{
    if (result < low || result > high)
        fail("result out of range");
}

int getExProperty(UVCCam& cam, unsigned int length)
{
    Guarded buffer(length);
    const int result = cam.getExProperty(3, buffer.data(), length, 1);
    buffer.check();
    return result;
}

int exHidReport(UVCCam& cam, unsigned int length, int mode, bool get)
{
    Guarded buffer(length);
    const std::uint8_t head[4] = {0x05, 0x81, 0x02, 0x00};
    std::copy_n(head, std::min<std::size_t>(length, sizeof head), buffer.data());
    const int result = get ? cam.getExHidReport(buffer.data(), length) : cam.setExHidReport(buffer.data(), length, mode);
    buffer.check();
    if (get && length > 0 && buffer.data()[0] != head[0])
        fail("getExHidReport changed byte 0 of the caller's report");
    return result;
}

int uacProperty(UVCCam& cam, unsigned int length, bool set)
{
    Guarded buffer(length);
    const int result = set ? cam.setUACHidProperty(7, buffer.data(), length) : cam.getUACHidProperty(7, buffer.data(), length);
    buffer.check();
    return result;
}

void runOperation(UVCCam& cam, int operation)
{
    static const unsigned int kPropertyLengths[] = {0, 1, 64, 509, 600};
    static const unsigned int kUacLengths[] = {2, 64, 65};
    switch (operation) {
    case 0: case 1: case 2: case 3: case 4:
        expectIn(getExProperty(cam, kPropertyLengths[operation]), -1, 0);
        break;
    case 5: {
        Guarded apply(12);
        std::fill_n(apply.data(), 12, 0);
        apply.data()[0] = 8;
        apply.data()[1] = 7;
        expectIn(cam.setExHidProperty(apply.data(), 12), -1, 0);
        apply.check();
        break;
    }
    case 6: expectIn(exHidReport(cam, 8, 0, false), -1, 255); break;
    case 7: expectIn(exHidReport(cam, 8, 1, false), -1, 0); break;
    case 8: expectIn(exHidReport(cam, 8, 0, true), -1, 0); break;
    case 9: expectIn(exHidReport(cam, 512, 0, true), -1, 0); break;
    default: {
        const int uac = operation - 10;  // 0..5: get then set, each with three lengths
        expectIn(uacProperty(cam, kUacLengths[uac % 3], uac >= 3), -1, 0);
        break;
    }
    }
}

}  // namespace

// Byte 0 picks the operation (low four bits) and the device (bit 4); the rest is the
// answer the device gives to every report it gets.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static World* world = makeWorld();
    if (size == 0)
        return 0;
    const int operation = data[0] % kOperations;
    const int device = (data[0] >> 4) & 1;
    const QByteArray answer(reinterpret_cast<const char*>(data + 1), static_cast<int>(std::min(size - 1, kMaxAnswer)));
    for (const auto& simulated : world->devices)
        simulated->hid()->setResponder([answer](const QByteArray&) { return std::optional<QByteArray>(answer); });

    world->cam->setDevice(world->ids[device]);
    runOperation(*world->cam, operation);
    // Answers still on their way arrive now, so the next input starts from a quiet device;
    // the records the simulator keeps for tests would otherwise grow without bound.
    world->clock->advance(std::chrono::milliseconds(200));
    world->log->clear();
    for (const auto& simulated : world->devices) {
        simulated->hid()->clearSentReports();
        if (simulated->uvc())
            simulated->uvc()->clearRequests();
    }
    return 0;
}
