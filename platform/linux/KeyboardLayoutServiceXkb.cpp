// The current keyboard layout: the X server's when there is one, else the one the XKB_DEFAULT_* variables name.
#include "platform/linux/KeyboardLayoutServiceXkb.h"

#include "platform/linux/XkbKeymapX11.h"

#include <QLoggingCategory>

#include <xkbcommon/xkbcommon.h>

namespace uvccam::platform {

namespace {

Q_LOGGING_CATEGORY(lcKeyboard, "uvccam.linux.keyboard")

// xkbcommon's own defaults for names the environment leaves out.
const char* const kDefaultRules = "evdev";
const char* const kDefaultModel = "pc105";
const char* const kDefaultLayout = "us";

QByteArray environmentOr(const char* variable, const char* fallback)
{
    const QByteArray value = qgetenv(variable);
    return value.isEmpty() ? QByteArray(fallback) : value;
}

XkbKeymapHandle compiledKeymap(xkb_context* context, const char* rules, const char* model, const char* layout,
                               const char* variant, const char* options)
{
    const xkb_rule_names names { rules, model, layout, variant, options };
    return adoptXkbKeymap(xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
}

}  // namespace

KeyboardLayoutServiceXkb::KeyboardLayoutServiceXkb()
    // The environment's names are read here, not by xkbcommon, so that they are compared
    // with the names of the keymap compiled last.
    : context_(xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES), xkb_context_unref)
{
}

KeyboardLayoutServiceXkb::~KeyboardLayoutServiceXkb() = default;

std::optional<KeyboardLayoutServiceXkb::ActiveLayout> KeyboardLayoutServiceXkb::serverLayout() const
{
    QString failure;
    if (!server_)
        server_ = XkbKeymapX11::connect(context_.get(), failure);
    if (server_) {
        if (const std::optional<XkbKeymapX11::Active> active = server_->active(failure))
            return ActiveLayout { active->keymap, active->layoutIndex };
        // A lost connection is not used again; the next question connects anew.
        server_.reset();
    }
    if (!serverTroubleLogged_) {
        serverTroubleLogged_ = true;
        qCInfo(lcKeyboard).noquote() << failure
                                     << "- keys are named after the layout of the XKB_DEFAULT_* variables (us without them)";
    }
    return std::nullopt;
}

std::optional<KeyboardLayoutServiceXkb::ActiveLayout> KeyboardLayoutServiceXkb::namedLayout() const
{
    const RuleNames names = { environmentOr("XKB_DEFAULT_RULES", kDefaultRules),
                              environmentOr("XKB_DEFAULT_MODEL", kDefaultModel),
                              environmentOr("XKB_DEFAULT_LAYOUT", kDefaultLayout), qgetenv("XKB_DEFAULT_VARIANT"),
                              qgetenv("XKB_DEFAULT_OPTIONS") };
    if (compiledNames_ != names) {
        compiledNames_ = names;
        namedKeymap_ = compiledKeymap(context_.get(), names[0].constData(), names[1].constData(), names[2].constData(),
                                      names[3].constData(), names[4].constData());
        if (!namedKeymap_) {
            if (!namesTroubleLogged_) {
                namesTroubleLogged_ = true;
                qCWarning(lcKeyboard).noquote()
                    << QStringLiteral("no keymap for rules %1, model %2, layout %3, variant %4, options %5; "
                                      "keys are named after the us layout")
                           .arg(QString::fromLocal8Bit(names[0]), QString::fromLocal8Bit(names[1]),
                                QString::fromLocal8Bit(names[2]), QString::fromLocal8Bit(names[3]),
                                QString::fromLocal8Bit(names[4]));
            }
            namedKeymap_ = compiledKeymap(context_.get(), kDefaultRules, kDefaultModel, kDefaultLayout, "", "");
        }
    }
    if (!namedKeymap_)
        return std::nullopt;
    return ActiveLayout { namedKeymap_, 0 };
}

std::optional<KeyboardLayoutServiceXkb::ActiveLayout> KeyboardLayoutServiceXkb::activeLayout() const
{
    if (!context_)
        return std::nullopt;
    if (std::optional<ActiveLayout> layout = serverLayout())
        return layout;
    return namedLayout();
}

std::shared_ptr<const KeyboardLayout> KeyboardLayoutServiceXkb::currentKeyboardLayout() const
{
    const std::optional<ActiveLayout> active = activeLayout();
    if (!active)
        return nullptr;
    return std::make_shared<KeyboardLayoutXkb>(active->keymap, active->layoutIndex);
}

std::shared_ptr<const KeyboardLayout> KeyboardLayoutServiceXkb::currentAsciiCapableKeyboardLayout() const
{
    const std::optional<ActiveLayout> active = activeLayout();
    if (!active)
        return nullptr;
    auto current = std::make_shared<KeyboardLayoutXkb>(active->keymap, active->layoutIndex);
    if (current->isAsciiCapable())
        return current;
    const std::uint32_t layouts = xkb_keymap_num_layouts(active->keymap.get());
    for (std::uint32_t index = 0; index < layouts; ++index) {
        auto candidate = std::make_shared<KeyboardLayoutXkb>(active->keymap, index);
        if (index != active->layoutIndex && candidate->isAsciiCapable())
            return candidate;
    }
    return nullptr;
}

}  // namespace uvccam::platform
