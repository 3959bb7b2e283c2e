// An application-local key event monitor: sees the application's key events before any widget.
#pragma once

#include "KeyEvent.h"

#include <QObject>

#include <cstdint>
#include <functional>

namespace uvccam::platform {

// Event-type mask bits: 1 << the event's type.
namespace KeyEventMask {
constexpr std::uint64_t KeyDown = 1u << static_cast<int>(KeyEventType::KeyDown);
constexpr std::uint64_t KeyUp = 1u << static_cast<int>(KeyEventType::KeyUp);
constexpr std::uint64_t FlagsChanged = 1u << static_cast<int>(KeyEventType::FlagsChanged);
}  // namespace KeyEventMask

// While it exists, every key event of the application whose type is in the mask goes to
// the handler, translated, and no widget sees it; application shortcuts do not fire for
// such key presses either. Other events pass on untouched. Destroying the monitor removes
// it, also from inside its handler.
class KeyEventMonitorQt : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const KeyEvent&)>;

    KeyEventMonitorQt(std::uint64_t mask, Handler handler);
    ~KeyEventMonitorQt() override;

    KeyEventMonitorQt(const KeyEventMonitorQt&) = delete;
    KeyEventMonitorQt& operator=(const KeyEventMonitorQt&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::uint64_t mask_;
    Handler handler_;
};

}  // namespace uvccam::platform
