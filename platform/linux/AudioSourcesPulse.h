// The sound server's microphones on Linux: its input sources as audio capture devices, listed and followed over libpulse.
#pragma once

#include "platform/CaptureService.h"
#include "platform/RunLoop.h"
#include "platform/linux/CaptureDevicePulse.h"

#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QObject;
struct pa_threaded_mainloop;
struct pa_context;
struct pa_source_info;

namespace uvccam::platform {

// Lists the input sources of the user's sound server (PulseAudio, or PipeWire's PulseAudio
// server), sinks' monitors left out, and follows their arrivals and departures. Identities
// are CaptureDevicePulse's.
//
// The server is reached on libpulse's own thread; what it reports is handed to the main
// thread, where the list changes in the same task that tells the listener. So a device is
// in devices() exactly from the call that announces it connected to the call that
// announces it gone, and the device announced gone is the object the list held, marked
// disconnected. When the server goes away every listed source leaves, announced; then, as
// without a server from the start, a connection is tried again every kRetryIntervalMs on
// the run loop, and the sources of a server that answers are announced as they come. No
// server is ever started.
//
// Make it, use it and destroy it on the main thread (the host's QCoreApplication's).
class AudioSourcesPulse {
public:
    using Listener =
        std::function<void(CaptureDeviceNotification::Name, const std::shared_ptr<CaptureDevicePulse>&)>;

    static constexpr int kReplyTimeoutMs = 2000;
    static constexpr int kRetryIntervalMs = 2000;

    // Lists the sources before it returns, waiting at most kReplyTimeoutMs for the server;
    // these are not announced. Without a server the list is empty, and one warning on
    // uvccam.linux.audio says why.
    explicit AudioSourcesPulse(RunLoop& runLoop);
    // libpulse's thread ends here; nothing is announced afterwards.
    ~AudioSourcesPulse();
    AudioSourcesPulse(const AudioSourcesPulse&) = delete;
    AudioSourcesPulse& operator=(const AudioSourcesPulse&) = delete;

    // Told of every change after this call, on the main thread. It must not destroy this object.
    void setListener(Listener listener) { _listener = std::move(listener); }

    // In the order the server listed them, then in the order they arrived.
    std::vector<std::shared_ptr<CaptureDevicePulse>> devices() const;

    // The listed device the server now names its default source, asked for afresh (at most
    // kReplyTimeoutMs); nullptr without a server, or when the default is a sink's monitor.
    std::shared_ptr<CaptureDevicePulse> defaultDevice();

private:
    // What the server said of one source, copied on libpulse's thread.
    struct Source {
        std::uint32_t index = 0;
        QString name;
        QString description;
        CaptureDevicePulse::Properties properties;
    };
    // One report of libpulse's thread, for the connection attempt it came from.
    struct Report {
        enum class Kind { Appeared, Removed, Listed, Lost } kind;
        std::uint64_t attempt;
        Source source;  // Appeared; Removed carries only the index
        QString reason;  // Lost
    };
    struct Listed {
        std::uint32_t index;  // the server's, unique while the connection lasts
        std::shared_ptr<CaptureDevicePulse> device;
    };

    // Main thread.
    // Starts a connection attempt; false (given up already) when it cannot even begin.
    bool connect();
    void giveUpUnlessListed(std::uint64_t attempt);
    // Every listed source leaves, and a new attempt is made later.
    void giveUp(const QString& reason);
    void scheduleRetry();
    void deliverReports();
    void apply(const Report& report);
    void leave(std::size_t position);
    void announce(CaptureDeviceNotification::Name name, const std::shared_ptr<CaptureDevicePulse>& device);
    void warnOnce(const QString& problem);
    // Either thread, with libpulse's loop locked.
    void dropContextLocked();
    // libpulse's thread, which holds the loop's lock while it calls back.
    void report(Report next);
    void contextChanged(pa_context* context);
    void sourceEvent(pa_context* context, unsigned type, std::uint32_t index);
    void sourceReported(const pa_source_info* info, int last, bool listing);
    static Source copySource(const pa_source_info& info);

    RunLoop& _runLoop;
    // Lives on the main thread; libpulse's thread posts to it. The reports it still holds
    // are dropped with it, after libpulse's thread has ended.
    std::unique_ptr<QObject> _mailbox;
    pa_threaded_mainloop* _mainLoop = nullptr;

    // Guarded by libpulse's loop lock.
    pa_context* _context = nullptr;
    std::uint64_t _attempt = 0;  // written on the main thread only
    bool _listed = false;        // the current attempt's first listing is complete
    std::deque<Report> _reports;

    // Main thread.
    std::vector<Listed> _sources;
    Listener _listener;
    RunLoop::TimerId _retryTimer = 0;
    RunLoop::TimerId _deadlineTimer = 0;
    bool _warned = false;
};

}  // namespace uvccam::platform
