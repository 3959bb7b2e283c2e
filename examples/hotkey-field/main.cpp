// A Qt Widgets host with the hot-key text field: a field showing ⌥⌘L, where the user records
// another shortcut by pressing it; each recording registers the new shortcut as a global hot
// key in place of the old one. `--simulate` runs it on the library's simulated keyboard,
// prints what the field shows, presses the hot key once and exits; without it the window
// stays open.
#include <UVCCamSimulation.h>
#include <hotkey/HKHotKey.h>
#include <hotkey/HKHotKeyCenter.h>
#include <hotkey/HKHotKeyTextField.h>

#include <QApplication>
#include <QStringList>

#include <cstdio>

namespace {

// Virtual key codes and modifier flags as KeyEvent.h defines them: 37 is the L key.
constexpr std::uint16_t kKeyL = 37;

void onHotKey(const uvccam::platform::KeyEvent& event)
{
    std::printf("hot key %s\n", event.isARepeat ? "pressed" : "released");
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const bool simulate = application.arguments().contains(QStringLiteral("--simulate"));
    if (simulate)
        uvccam::sim::useSimulatedDevices(uvccam::sim::Clock::Virtual);

    HKHotKeyCenter* center = HKHotKeyCenter::sharedHotKeyCenter();
    const std::uint64_t optionCommand = uvccam::platform::ModifierFlag::Option | uvccam::platform::ModifierFlag::Command;
    HKHotKeyTextField field;
    field.setHotKey(center->registerHotKeyWithKeyCode(kKeyL, optionCommand, onHotKey));

    // A recorded shortcut replaces the registered one; the field's new hot key keeps the task.
    auto registered = field.hotKey();
    QObject::connect(&field, &HKHotKeyTextField::activated, [&] {
        if (!field.hotKey() || field.hotKey() == registered)
            return;
        center->unregisterHotKey(registered);
        registered = center->registerHotKey(field.hotKey());
        std::printf("now %s\n", qPrintable(field.text()));
    });

    std::printf("the field shows %s\n", qPrintable(field.text()));
    if (simulate) {
        uvccam::sim::pressHotKey(kKeyL, optionCommand, 0.2);
        uvccam::sim::wait(0.5);
        return 0;
    }
    field.show();
    return application.exec();
}
