// The sound server's input sources over libpulse: listed at creation, then followed through the server's events on the main thread.
#include "platform/linux/AudioSourcesPulse.h"

#include "platform/linux/PulseWait.h"

#include <QLoggingCategory>
#include <QMetaObject>
#include <QObject>

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/proplist.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>

#include <algorithm>
#include <chrono>

namespace uvccam::platform {

namespace {

Q_LOGGING_CATEGORY(lcAudio, "uvccam.linux.audio")

AudioSourcesPulse* owner(void* userdata)
{
    return static_cast<AudioSourcesPulse*>(userdata);
}

}  // namespace

AudioSourcesPulse::AudioSourcesPulse(RunLoop& runLoop) : _runLoop(runLoop), _mailbox(std::make_unique<QObject>())
{
    _mainLoop = pa_threaded_mainloop_new();
    if (!_mainLoop || pa_threaded_mainloop_start(_mainLoop) < 0) {
        if (_mainLoop)
            pa_threaded_mainloop_free(_mainLoop);
        _mainLoop = nullptr;
        warnOnce(QStringLiteral("libpulse's thread did not start"));
        return;
    }
    if (!connect())
        return;
    const std::uint64_t attempt = _attempt;
    pa_threaded_mainloop_lock(_mainLoop);
    pa_context* context = _context;
    waitLocked(_mainLoop, context, kReplyTimeoutMs,
               [this, context] { return _listed || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context)); });
    pa_threaded_mainloop_unlock(_mainLoop);
    // What the server said so far becomes the list now. Nobody listens yet, so nothing is
    // announced: a later listener learns of these sources from devices().
    deliverReports();
    giveUpUnlessListed(attempt);
}

AudioSourcesPulse::~AudioSourcesPulse()
{
    _runLoop.cancel(_retryTimer);
    _runLoop.cancel(_deadlineTimer);
    if (!_mainLoop)
        return;
    pa_threaded_mainloop_lock(_mainLoop);
    dropContextLocked();
    pa_threaded_mainloop_unlock(_mainLoop);
    pa_threaded_mainloop_stop(_mainLoop);
    pa_threaded_mainloop_free(_mainLoop);
}

std::vector<std::shared_ptr<CaptureDevicePulse>> AudioSourcesPulse::devices() const
{
    std::vector<std::shared_ptr<CaptureDevicePulse>> devices;
    for (const Listed& listed : _sources)
        devices.push_back(listed.device);
    return devices;
}

std::shared_ptr<CaptureDevicePulse> AudioSourcesPulse::defaultDevice()
{
    if (!_mainLoop)
        return nullptr;
    struct Reply {
        pa_threaded_mainloop* loop;
        QString source;
    } reply{_mainLoop, {}};
    bool asked = false;
    bool answered = false;
    pa_threaded_mainloop_lock(_mainLoop);
    if (_context && pa_context_get_state(_context) == PA_CONTEXT_READY) {
        asked = true;
        pa_operation* operation = pa_context_get_server_info(
            _context,
            [](pa_context*, const pa_server_info* info, void* userdata) {
                auto* r = static_cast<Reply*>(userdata);
                // A server without sources names no default.
                if (info && info->default_source_name)
                    r->source = QString::fromUtf8(info->default_source_name);
                pa_threaded_mainloop_signal(r->loop, 0);
            },
            &reply);
        answered = operation
            && awaitLocked(_mainLoop, _context, operation, kReplyTimeoutMs) == PulseRequestEnd::Answered;
    }
    pa_threaded_mainloop_unlock(_mainLoop);
    if (asked && !answered)
        warnOnce(QStringLiteral("the server did not name its default source"));
    if (!answered || reply.source.isEmpty())
        return nullptr;
    const auto found = std::find_if(_sources.begin(), _sources.end(), [&reply](const Listed& listed) {
        return listed.device->sourceName() == reply.source;
    });
    return found == _sources.end() ? nullptr : found->device;
}

bool AudioSourcesPulse::connect()
{
    QString failure;
    pa_threaded_mainloop_lock(_mainLoop);
    dropContextLocked();
    ++_attempt;
    _listed = false;
    _context = pa_context_new(pa_threaded_mainloop_get_api(_mainLoop), "uvccam");
    if (!_context) {
        failure = QStringLiteral("no client context");
    } else {
        pa_context_set_state_callback(
            _context, [](pa_context* context, void* userdata) { owner(userdata)->contextChanged(context); }, this);
        // A library must not start a sound server of its own: without one there is no microphone.
        if (pa_context_connect(_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            failure = QString::fromUtf8(pa_strerror(pa_context_errno(_context)));
    }
    pa_threaded_mainloop_unlock(_mainLoop);
    if (!failure.isEmpty()) {
        giveUp(failure);
        return false;
    }
    // libpulse gives up on a server that accepts the connection and then says nothing only
    // when the socket breaks, which may be never.
    const std::uint64_t attempt = _attempt;
    _runLoop.cancel(_deadlineTimer);
    _deadlineTimer = _runLoop.dispatchAfter(std::chrono::milliseconds(kReplyTimeoutMs), [this, attempt] {
        _deadlineTimer = 0;
        giveUpUnlessListed(attempt);
    });
    return true;
}

void AudioSourcesPulse::giveUpUnlessListed(std::uint64_t attempt)
{
    if (attempt != _attempt)
        return;  // given up already, or connected again since
    pa_threaded_mainloop_lock(_mainLoop);
    const bool listed = _listed;
    const int error = _context ? pa_context_errno(_context) : 0;
    pa_threaded_mainloop_unlock(_mainLoop);
    if (!listed)
        giveUp(error ? QString::fromUtf8(pa_strerror(error)) : QStringLiteral("no answer in time"));
}

void AudioSourcesPulse::giveUp(const QString& reason)
{
    pa_threaded_mainloop_lock(_mainLoop);
    dropContextLocked();
    // What the dropped connection reported and the main thread has not yet taken is out of date.
    ++_attempt;
    pa_threaded_mainloop_unlock(_mainLoop);
    _runLoop.cancel(_deadlineTimer);
    _deadlineTimer = 0;
    warnOnce(reason);
    while (!_sources.empty())
        leave(0);
    scheduleRetry();
}

void AudioSourcesPulse::scheduleRetry()
{
    if (_retryTimer)
        return;
    _retryTimer = _runLoop.dispatchAfter(std::chrono::milliseconds(kRetryIntervalMs), [this] {
        _retryTimer = 0;
        connect();
    });
}

void AudioSourcesPulse::deliverReports()
{
    // One report at a time: a listener that runs a nested event loop takes the next ones in
    // their order, never before the one it is being told of.
    for (;;) {
        pa_threaded_mainloop_lock(_mainLoop);
        if (_reports.empty()) {
            pa_threaded_mainloop_unlock(_mainLoop);
            return;
        }
        const Report next = std::move(_reports.front());
        _reports.pop_front();
        pa_threaded_mainloop_unlock(_mainLoop);
        if (next.attempt == _attempt)
            apply(next);
    }
}

void AudioSourcesPulse::apply(const Report& report)
{
    const auto listed = std::find_if(_sources.begin(), _sources.end(),
                                     [&report](const Listed& known) { return known.index == report.source.index; });
    switch (report.kind) {
    case Report::Kind::Appeared: {
        // A source that arrived while the first listing was on its way is reported twice.
        if (listed != _sources.end())
            return;
        auto device = CaptureDevicePulse::fromSource(report.source.name, report.source.description,
                                                     report.source.properties);
        if (!device)
            return;
        qCDebug(lcAudio) << "microphone" << device->localizedName() << device->uniqueID();
        _sources.push_back({report.source.index, device});
        announce(CaptureDeviceNotification::Name::WasConnected, device);
        return;
    }
    case Report::Kind::Removed:
        if (listed != _sources.end())
            leave(static_cast<std::size_t>(listed - _sources.begin()));
        return;
    case Report::Kind::Listed:
        _runLoop.cancel(_deadlineTimer);
        _deadlineTimer = 0;
        // A later loss is worth a line again.
        _warned = false;
        qCDebug(lcAudio) << "following the sound server's sources," << _sources.size() << "microphones";
        return;
    case Report::Kind::Lost:
        giveUp(report.reason);
        return;
    }
}

void AudioSourcesPulse::leave(std::size_t position)
{
    const std::shared_ptr<CaptureDevicePulse> device = _sources[position].device;
    _sources.erase(_sources.begin() + static_cast<std::ptrdiff_t>(position));
    device->markDisconnected();
    qCDebug(lcAudio) << "microphone left:" << device->localizedName() << device->uniqueID();
    announce(CaptureDeviceNotification::Name::WasDisconnected, device);
}

void AudioSourcesPulse::announce(CaptureDeviceNotification::Name name,
                                 const std::shared_ptr<CaptureDevicePulse>& device)
{
    if (!_listener)
        return;
    // A copy: the listener may replace itself while it is called.
    const Listener listener = _listener;
    listener(name, device);
}

void AudioSourcesPulse::warnOnce(const QString& problem)
{
    if (_warned)
        return;
    _warned = true;
    qCWarning(lcAudio, "Cannot follow the sound server's microphones: %s", qUtf8Printable(problem));
}

void AudioSourcesPulse::dropContextLocked()
{
    if (!_context)
        return;
    // Disconnecting cancels the lookups still under way, so none of their callbacks runs later.
    pa_context_set_state_callback(_context, nullptr, nullptr);
    pa_context_set_subscribe_callback(_context, nullptr, nullptr);
    pa_context_disconnect(_context);
    pa_context_unref(_context);
    _context = nullptr;
}

void AudioSourcesPulse::report(Report next)
{
    next.attempt = _attempt;
    _reports.push_back(std::move(next));
    // The mailbox outlives libpulse's thread, so posting to it is always safe here.
    QMetaObject::invokeMethod(
        _mailbox.get(), [this] { deliverReports(); }, Qt::QueuedConnection);
    pa_threaded_mainloop_signal(_mainLoop, 0);
}

void AudioSourcesPulse::contextChanged(pa_context* context)
{
    pa_threaded_mainloop_signal(_mainLoop, 0);
    const pa_context_state_t state = pa_context_get_state(context);
    if (!PA_CONTEXT_IS_GOOD(state)) {
        report({Report::Kind::Lost, 0, {}, QString::fromUtf8(pa_strerror(pa_context_errno(context)))});
        return;
    }
    if (state != PA_CONTEXT_READY)
        return;
    pa_context_set_subscribe_callback(
        context,
        [](pa_context* c, pa_subscription_event_type_t type, std::uint32_t index, void* userdata) {
            owner(userdata)->sourceEvent(c, type, index);
        },
        this);
    // Subscribed before listing: a source that comes or goes meanwhile is either in the
    // listing or reported after it, in the server's order; one that is both is known by its
    // index.
    if (pa_operation* subscribed = pa_context_subscribe(context, PA_SUBSCRIPTION_MASK_SOURCE, nullptr, nullptr))
        pa_operation_unref(subscribed);
    pa_operation* listing = pa_context_get_source_info_list(
        context,
        [](pa_context*, const pa_source_info* info, int last, void* userdata) {
            owner(userdata)->sourceReported(info, last, true);
        },
        this);
    if (listing)
        pa_operation_unref(listing);
}

void AudioSourcesPulse::sourceEvent(pa_context* context, unsigned type, std::uint32_t index)
{
    if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SOURCE)
        return;
    switch (type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) {
    case PA_SUBSCRIPTION_EVENT_NEW:
        if (pa_operation* lookup = pa_context_get_source_info_by_index(
                context, index,
                [](pa_context*, const pa_source_info* info, int last, void* userdata) {
                    owner(userdata)->sourceReported(info, last, false);
                },
                this))
            pa_operation_unref(lookup);
        return;
    case PA_SUBSCRIPTION_EVENT_REMOVE: {
        Report removed{Report::Kind::Removed, 0, {}, {}};
        removed.source.index = index;
        report(std::move(removed));
        return;
    }
    default:
        // Volume, mute, port or properties changed: the identity was made at arrival.
        return;
    }
}

void AudioSourcesPulse::sourceReported(const pa_source_info* info, int last, bool listing)
{
    // A lookup for a source that has gone already ends with an error mark (last < 0) alone.
    if (info && info->monitor_of_sink == PA_INVALID_INDEX)
        report({Report::Kind::Appeared, 0, copySource(*info), {}});
    if (listing && last > 0) {
        _listed = true;
        report({Report::Kind::Listed, 0, {}, {}});
    }
}

AudioSourcesPulse::Source AudioSourcesPulse::copySource(const pa_source_info& info)
{
    Source source;
    source.index = info.index;
    source.name = QString::fromUtf8(info.name);
    source.description = QString::fromUtf8(info.description);
    void* position = nullptr;
    while (const char* key = info.proplist ? pa_proplist_iterate(info.proplist, &position) : nullptr) {
        // Only text properties name anything; the rest are binary.
        if (const char* value = pa_proplist_gets(info.proplist, key))
            source.properties.insert(QString::fromUtf8(key), QString::fromUtf8(value));
    }
    return source;
}

}  // namespace uvccam::platform
