// The keyboard-layout service over xkbcommon: the X server's current layout, or the one the XKB_DEFAULT_* variables name.
#pragma once

#include "platform/KeyboardLayoutService.h"
#include "platform/linux/KeyboardLayoutXkb.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

struct xkb_context;

namespace uvccam::platform {

class XkbKeymapX11;

// Where the keymap comes from, at each question:
// - with an X display (DISPLAY), the server's keymap and its keyboard's active layout, on a
//   connection of our own that is opened at the first question, so that a process that never
//   names a key never speaks to the X server. A new keymap or a switch of layout on the
//   server is seen at the next question (XkbKeymapX11).
// - otherwise (no display, a Wayland session without Xwayland, a server that cannot be
//   reached), the keymap that XKB_DEFAULT_RULES, _MODEL, _LAYOUT, _VARIANT and _OPTIONS
//   name, each defaulting as xkbcommon defaults it ("evdev", "pc105", "us", none, none),
//   compiled again only when they change. Names that do not compile fall back to "us".
// An unreachable display is tried again at the next question; each kind of trouble is
// logged once on "uvccam.linux.keyboard".
//
// The current layout always has layout data here (there is no input method without one);
// the ASCII-capable layout is the current one when it is ASCII-capable, otherwise the
// first of the keymap's layouts that is (us in "ru,us"), or none. Call it from one thread.
class KeyboardLayoutServiceXkb : public KeyboardLayoutService {
public:
    // The desktop's key codes are those of an ANSI keyboard; xkb keymaps have one table for
    // every keyboard, so nothing depends on it.
    static constexpr std::uint8_t kAnsiKeyboardType = 40;

    KeyboardLayoutServiceXkb();
    ~KeyboardLayoutServiceXkb() override;

    std::shared_ptr<const KeyboardLayout> currentKeyboardLayout() const override;
    std::shared_ptr<const KeyboardLayout> currentAsciiCapableKeyboardLayout() const override;
    std::uint8_t keyboardType() const override { return kAnsiKeyboardType; }

private:
    struct ActiveLayout {
        XkbKeymapHandle keymap;
        std::uint32_t layoutIndex;
    };
    // rules, model, layout, variant, options
    using RuleNames = std::array<QByteArray, 5>;

    std::optional<ActiveLayout> activeLayout() const;
    std::optional<ActiveLayout> serverLayout() const;
    std::optional<ActiveLayout> namedLayout() const;

    std::unique_ptr<xkb_context, void (*)(xkb_context*)> context_;
    mutable std::unique_ptr<XkbKeymapX11> server_;
    mutable bool serverTroubleLogged_ = false;
    mutable std::optional<RuleNames> compiledNames_;
    mutable XkbKeymapHandle namedKeymap_;
    mutable bool namesTroubleLogged_ = false;
};

}  // namespace uvccam::platform
