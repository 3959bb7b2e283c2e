// The X server's keyboard: its keymap and active layout, followed through XKB notifications on a connection of our own.
#pragma once

#include "platform/linux/KeyboardLayoutXkb.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

struct xcb_connection_t;
struct xkb_context;

namespace uvccam::platform {

// The core keyboard of the server that DISPLAY names. The connection is our own (XCB, which
// hands every error back with its request instead of through a process-wide handler), so
// the host's connection, if it has one, is left alone. The server announces a new keymap
// (another layout set, keys remapped) with XKB notifications; they wait in the connection
// until the next question, which reads the keymap again only after one came. The active
// layout (the keyboard's effective group) is asked for at each question; that answer is
// also the point by which every notification the server sent before it has arrived.
class XkbKeymapX11 {
public:
    struct Active {
        XkbKeymapHandle keymap;
        std::uint32_t layoutIndex;
    };

    // None without a display, or when it cannot be reached or lacks the XKB extension; the
    // reason then in `failure`.
    static std::unique_ptr<XkbKeymapX11> connect(xkb_context* context, QString& failure);
    ~XkbKeymapX11();
    XkbKeymapX11(const XkbKeymapX11&) = delete;
    XkbKeymapX11& operator=(const XkbKeymapX11&) = delete;

    // The keymap and the active layout now; none once the connection is lost or the keymap
    // cannot be read (the reason in `failure`).
    std::optional<Active> active(QString& failure);

private:
    XkbKeymapX11(xkb_context* context, xcb_connection_t* connection, std::int32_t deviceId,
                 std::uint8_t xkbEventBase);
    // Whether a notification of a new keymap came since the last question.
    bool keymapChanged();

    xkb_context* context_;
    xcb_connection_t* connection_;
    std::int32_t deviceId_;
    std::uint8_t xkbEventBase_;
    XkbKeymapHandle keymap_;
};

}  // namespace uvccam::platform
