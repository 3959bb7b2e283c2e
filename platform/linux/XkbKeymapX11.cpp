// The X server's keymap through xkbcommon-x11, read again when the server announces a new one.
#include "platform/linux/XkbKeymapX11.h"

#include <xcb/xcb.h>
// The XKB protocol header names a structure member "explicit", which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdlib>

namespace uvccam::platform {

namespace {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};

QString displayName()
{
    const QByteArray display = qgetenv("DISPLAY");
    return display.isEmpty() ? QStringLiteral("(none)") : QString::fromLocal8Bit(display);
}

}  // namespace

std::unique_ptr<XkbKeymapX11> XkbKeymapX11::connect(xkb_context* context, QString& failure)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        failure = QStringLiteral("no X display (DISPLAY is not set)");
        return nullptr;
    }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        failure = QStringLiteral("cannot connect to the X display %1").arg(displayName());
        return nullptr;
    }
    std::uint8_t eventBase = 0;
    if (!xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                     XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, &eventBase, nullptr)) {
        xcb_disconnect(connection);
        failure = QStringLiteral("the X display %1 has no XKB extension").arg(displayName());
        return nullptr;
    }
    const std::int32_t deviceId = xkb_x11_get_core_keyboard_device_id(connection);
    if (deviceId < 0) {
        xcb_disconnect(connection);
        failure = QStringLiteral("the X display %1 has no core keyboard").arg(displayName());
        return nullptr;
    }

    // A new keyboard, or a new map on this one (every part of it), is a new keymap.
    constexpr std::uint16_t kEvents = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
    constexpr std::uint16_t kNewKeyboardDetails
        = XCB_XKB_NKN_DETAIL_KEYCODES | XCB_XKB_NKN_DETAIL_GEOMETRY | XCB_XKB_NKN_DETAIL_DEVICE_ID;
    constexpr std::uint16_t kMapParts = XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS
        | XCB_XKB_MAP_PART_MODIFIER_MAP | XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS | XCB_XKB_MAP_PART_KEY_ACTIONS
        | XCB_XKB_MAP_PART_KEY_BEHAVIORS | XCB_XKB_MAP_PART_VIRTUAL_MODS | XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
    xcb_xkb_select_events_details_t details {};
    details.affectNewKeyboard = kNewKeyboardDetails;
    details.newKeyboardDetails = kNewKeyboardDetails;
    const xcb_void_cookie_t selected = xcb_xkb_select_events_aux_checked(
        connection, xcb_xkb_device_spec_t(deviceId), kEvents, 0, 0, kMapParts, kMapParts, &details);
    if (xcb_generic_error_t* error = xcb_request_check(connection, selected)) {
        std::free(error);
        xcb_disconnect(connection);
        failure = QStringLiteral("the X display %1 refuses keyboard notifications").arg(displayName());
        return nullptr;
    }
    return std::unique_ptr<XkbKeymapX11>(new XkbKeymapX11(context, connection, deviceId, eventBase));
}

XkbKeymapX11::XkbKeymapX11(xkb_context* context, xcb_connection_t* connection, std::int32_t deviceId,
                           std::uint8_t xkbEventBase)
    : context_(context), connection_(connection), deviceId_(deviceId), xkbEventBase_(xkbEventBase)
{
}

XkbKeymapX11::~XkbKeymapX11() { xcb_disconnect(connection_); }

bool XkbKeymapX11::keymapChanged()
{
    bool changed = false;
    // Only the notifications selected above come to this connection; each is taken.
    while (xcb_generic_event_t* event = xcb_poll_for_queued_event(connection_)) {
        if ((event->response_type & 0x7F) == xkbEventBase_) {
            const auto* notification = reinterpret_cast<const xcb_xkb_map_notify_event_t*>(event);
            if (notification->xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY || notification->xkbType == XCB_XKB_MAP_NOTIFY)
                changed = true;
        }
        std::free(event);
    }
    return changed;
}

std::optional<XkbKeymapX11::Active> XkbKeymapX11::active(QString& failure)
{
    if (xcb_connection_has_error(connection_)) {
        failure = QStringLiteral("the connection to the X display %1 was lost").arg(displayName());
        return std::nullopt;
    }
    // The answer comes after every notification the server sent before it, so the keymap
    // read below is never older than the group.
    const xcb_xkb_get_state_cookie_t cookie = xcb_xkb_get_state(connection_, xcb_xkb_device_spec_t(deviceId_));
    xcb_generic_error_t* error = nullptr;
    const std::unique_ptr<xcb_xkb_get_state_reply_t, FreeReply> state(
        xcb_xkb_get_state_reply(connection_, cookie, &error));
    std::free(error);
    if (!state) {
        failure = QStringLiteral("the X display %1 gives no keyboard state").arg(displayName());
        return std::nullopt;
    }
    if (keymapChanged() || !keymap_) {
        keymap_ = adoptXkbKeymap(
            xkb_x11_keymap_new_from_device(context_, connection_, deviceId_, XKB_KEYMAP_COMPILE_NO_FLAGS));
        if (!keymap_) {
            failure = QStringLiteral("the keymap of the X display %1 cannot be read").arg(displayName());
            return std::nullopt;
        }
    }
    // The server keeps the effective group within the keyboard's groups; a keymap that
    // changed again since the answer may have fewer.
    const std::uint32_t layouts = xkb_keymap_num_layouts(keymap_.get());
    const std::uint32_t layout = state->group < layouts ? state->group : 0;
    return Active { keymap_, layout };
}

}  // namespace uvccam::platform
