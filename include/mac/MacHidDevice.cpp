// Output reports out, one input report in within a short wait on the main run loop.
#include "mac/MacHidDevice.h"

#include "platform/Log.h"
#include "platform/Platform.h"

#include <algorithm>
#include <chrono>
#include <cstring>

using namespace uvccam::platform;

unsigned char* input_buffer = nullptr;
unsigned char* report_buffer = nullptr;

namespace {

constexpr std::chrono::milliseconds kReadWait{80};
// A reply with this in byte 1 ends the device's turn on the run loop.
constexpr std::uint8_t kLastReplyMarker = 0x10;
// Reports whose byte 2 is this are too frequent to log.
constexpr std::uint8_t kUnloggedSelector = 3;

bool readInProgress = false;

std::uint8_t byteAt(const std::uint8_t* bytes, long length, long index)
{
    return bytes && index < length ? bytes[index] : 0;
}

// Bytes 3 onwards up to the first zero (or the end), as the log's text part.
QString textFrom(const std::uint8_t* bytes, long length)
{
    QString text = QStringLiteral("");  // empty, never missing
    for (long i = 3; bytes && i < length && bytes[i] != 0; ++i)
        text.append(QChar::fromLatin1(static_cast<char>(bytes[i])));
    return text;
}

}  // namespace

void input_oneshot(void* context, HidStatus, HidDevice*, std::uint32_t, std::uint8_t* report, long reportLength)
{
    if (context && report && reportLength > 0)
        std::memcpy(context, report, static_cast<std::size_t>(std::min(reportLength, MacHidDevice::kInputBufferSize)));
    Platform::current().runLoop().stop();
}

MacHidDevice::~MacHidDevice() = default;

bool MacHidDevice::setReport(const std::uint8_t* report, long withLength)
{
    if (!_hidDevice || !report || withLength <= 0)
        return false;
    const HidStatus status = _hidDevice->setReport(report, static_cast<std::size_t>(withLength));
    if (byteAt(report, withLength, 2) != kUnloggedSelector) {
        logSystem("WRITE:ioRet:%d, len:%d, 0:%d 1:%d 2:%d(%s)", status, withLength, byteAt(report, withLength, 0),
                  byteAt(report, withLength, 1), byteAt(report, withLength, 2), textFrom(report, withLength));
    }
    return status == kHidSuccess;
}

bool MacHidDevice::getReport(std::uint8_t* report, long withLength)
{
    const bool received = readReport(report, withLength);
    if (byteAt(report, withLength, 2) != kUnloggedSelector) {
        logSystem("READ:bRet:%d, len:%d, 0:%d 1:%d 2:%d(%s)", received ? 1 : 0, withLength, byteAt(report, withLength, 0),
                  byteAt(report, withLength, 1), byteAt(report, withLength, 2), textFrom(report, withLength));
    }
    return received;
}

bool MacHidDevice::readReport(std::uint8_t* report, long withLength)
{
    // The wait runs the run loop, where anything may call in again; a second read would
    // clear and refill the buffers the first one is waiting on.
    if (readInProgress)
        return false;
    if (!input_buffer) {
        input_buffer = new unsigned char[kInputBufferSize];
        report_buffer = new unsigned char[kReportBufferSize];
    }
    std::memset(input_buffer, 0, kInputBufferSize);
    std::memset(report_buffer, 0, kReportBufferSize);
    if (!_hidDevice)
        return false;

    readInProgress = true;
    // Keep the device alive through the wait, whatever the callbacks do to the lists.
    const HidDevicePtr device = _hidDevice;
    device->registerInputReportCallback(report_buffer, kReportBufferSize, input_oneshot, input_buffer);
    device->scheduleWithRunLoop();
    Platform::current().runLoop().runFor(kReadWait);
    if (input_buffer[1] == kLastReplyMarker)
        device->unscheduleFromRunLoop();
    readInProgress = false;

    if (report && withLength > 0)
        std::memcpy(report, input_buffer, static_cast<std::size_t>(std::min(withLength, kInputBufferSize)));
    return input_buffer[0] != 0;
}
