// The command table: every command's name, arguments, help and examples, and the help pages.
#include "Commands.h"

namespace uvccamctl {

namespace {

// What the overview's lines begin with; explanations continue under the first line's text.
constexpr int kOptionColumn = 20;
constexpr int kStatusColumn = 3;
constexpr int kUsageColumn = 18;

// A term in the overview's column, followed by its explanation, whose later lines are
// indented to start under the first.
void printEntry(Console& console, const HelpEntry& entry, int column)
{
    const QStringList lines = QString::fromUtf8(entry.text).split(QLatin1Char('\n'));
    console.line(QStringLiteral("  %1%2").arg(QString::fromUtf8(entry.term).leftJustified(column), lines.first()));
    for (const QString& line : lines.mid(1))
        console.line(QString(2 + column, QLatin1Char(' ')) + line);
}

}  // namespace

const ToolHelp& toolHelp()
{
    static const ToolHelp help{
        "try the maker's cameras and speakerphones from the command line",
        {
            {"[GLOBAL OPTIONS] COMMAND [ARGUMENTS]", ""},
            {"help COMMAND", "or: uvccamctl COMMAND --help"},
            {"--version", ""},
        },
        "anywhere on the line, each at most once",
        {
            {"--simulate", "use the simulated demonstration set (RX710, ST470, LUM610 and\n"
                           "VOXA760). Without it the tool works on this machine's devices, and\n"
                           "hotkeys on its X11 display"},
            {"--virtual-clock", "with --simulate: simulated time passes instantly; for scripts and tests"},
            {"--device UNIQUE_ID", "select this device before the command (default: the library's choice)"},
            {"--json", "machine-readable output (every command but demo; watch and hotkeys\n"
                       "print one object per line per event)"},
            {"--verbose", "the library's own diagnostics on standard error, each marked with\n"
                          "its channel ([system], [qtdebug], [stdout], [stderr])"},
            {"--version", "the version of the library in use"},
            {"--help", "this text, or a command's help"},
        },
        {
            {"0", "success"},
            {"1", "the device or the library refused, or the work failed"},
            {"2", "bad usage: an unknown command or option, an option given twice, a malformed value,\n"
                  "a value outside the control's range (found before anything reached a device)"},
            {"3", "no such device, none attached, the device left, or the wrong kind of device for\n"
                  "the command"},
        },
        {
            "uvccamctl list",
            "uvccamctl --simulate list",
            "uvccamctl --simulate get all",
            "uvccamctl --simulate set zoom 300",
            "uvccamctl --simulate --device 10400000 uac get 7 2",
            "uvccamctl --simulate transfer-mode",
            "uvccamctl --simulate --virtual-clock stream --frames 10 --snapshot frame.png",
            "uvccamctl demo",
        },
    };
    return help;
}

const std::vector<Command>& commandTable()
{
    static const std::vector<Command> table{
        {"list", "", "the attached devices and which one is selected",
         R"(Lists the maker's attached devices: model, device ID (a camera's USB vendor ID, a
speakerphone's product ID), the unique ID that --device takes, and a * at the selected one.

Examples:
  uvccamctl list
  uvccamctl --simulate list --json)",
         true, false, runList},
        {"info", "", "the selected device and its serial number",
         R"(Shows the selected device: model name, device ID, unique ID, kind and USB serial number
(a speakerphone has none).

Examples:
  uvccamctl --simulate info
  uvccamctl --simulate --device 0x103000002a3b6100 info --json)",
         true, false, runInfo},
        {"get", "PROPERTY|all", "read a camera control",
         R"(Reads a standard control of the selected camera, by name or property number:
  0 contrast  1 brightness  2 sharpness  3 saturation  4 backlight  5 white-balance
  6 auto-white-balance  7 pan  8 tilt  9 zoom  10 focus  11 auto-focus  12 exposure
  13 power-line
Values are the camera's raw values. "all" reads every control and fails only when the
camera answers none.

Examples:
  uvccamctl --simulate get brightness
  uvccamctl --simulate get 9
  uvccamctl --simulate get all --json)",
         true, false, runGet},
        {"set", "PROPERTY VALUE", "write a camera control",
         R"(Writes a standard control of the selected camera (names as for get) and prints the value
it reads back. Switches (auto-white-balance, auto-focus) take on or off. A value outside
the control's own range (see range) is refused before it is sent; a control without a
range of its own, or whose range the camera does not give, leaves the value to the
camera.

Examples:
  uvccamctl --simulate set zoom 300
  uvccamctl --simulate set auto-focus off
  uvccamctl --simulate set pan -3600 --json)",
         true, false, runSet},
        {"range", "PROPERTY|all", "a camera control's minimum, maximum and default",
         R"(Reads a control's range (minimum, maximum, default) through the library's range query,
which covers property numbers 0 to 12. Its table does not follow the property numbers
everywhere: 0 asks backlight's selector, 3 asks contrast's and 12 the exposure mode's.
So a control's range is read through the number that asks it (contrast through 3), and
saturation, exposure and power-line have none of their own. "all" shows each number
under the control it asks; NUMBER (or "number" in JSON) is the number the library was
asked with. Some cameras answer only part of the table.

Examples:
  uvccamctl --simulate range zoom
  uvccamctl --simulate range all --json)",
         true, false, runRange},
        {"xu", "get SELECTOR UNIT-INDEX LENGTH | set SELECTOR UNIT-INDEX HEXBYTES  [--uvc|--hid]",
         "read or write a vendor property",
         R"(Reads LENGTH bytes of, or writes bytes to, a vendor property: SELECTOR 0 to 255 of
extension unit UNIT-INDEX 1 to 6, at most 509 bytes. In HID mode (the default) selector 3
of unit 1, and a speakerphone's selectors up to 6 of unit 1, travel as HID reports; the
rest go to the camera's extension units. A get over HID reads the device's next report,
which the maker's firmware sends after a set or on its own; selector 3 reads as zeros
when the device stays silent.
  --uvc   switch to UVC mode first: everything goes to the extension units
  --hid   switch to HID mode first

Examples:
  uvccamctl --simulate xu set 4 1 12345678 --uvc
  uvccamctl --simulate xu get 4 1 4 --uvc --json
  uvccamctl --simulate xu set 3 1 a55a --hid)",
         true, false, runXu},
        {"hid", "send HEXBYTES [--mode 0|1] | query HEXBYTES [--length N]", "exchange a raw vendor HID report",
         R"(send: sends HEXBYTES (report ID first, at most 512 bytes) as one report and checks the
device's answer. --mode 0 (the default) expects byte 1 repeated and prints the device's
result byte; --mode 1 expects the acknowledgement 0x19 or 0x1A.
query: sends HEXBYTES padded with zeros to --length bytes (509 to 512, default 512) and
prints the answer: acknowledgement and data bytes. The answer comes back in the same
bytes and may carry up to 505 data bytes after the acknowledgement and its count, so
the report must hold 509.
A device that stays silent is asked again for up to about 6.5 s.

Examples:
  uvccamctl --simulate hid send 0942
  uvccamctl --simulate hid send 0919 --mode 1
  uvccamctl --simulate hid query 0981 --json)",
         true, false, runHid},
        {"uac", "get SELECTOR LENGTH | set SELECTOR HEXBYTES", "read or write a speakerphone's audio property",
         R"(Reads LENGTH bytes of, or writes bytes to, audio property SELECTOR (0 to 255) of the
selected speakerphone, at most 64 bytes.

Examples:
  uvccamctl --simulate --device 10400000 uac set 7 0a0b
  uvccamctl --simulate --device 10400000 uac get 7 2 --json)",
         true, false, runUac},
        {"stream", "[--frames N] [--seconds S] [--snapshot FILE.png]", "stream video, count frames, save a frame",
         R"(Streams the selected camera until N frames have arrived or S seconds have passed (2 s
when neither is given), then prints the frames received and the measured frame rate.
--snapshot writes the last frame, converted from '2vuy' to RGB, to a PNG file. A status
line shows the count on a terminal; Ctrl-C ends the stream early.

Examples:
  uvccamctl --simulate stream --frames 30
  uvccamctl --simulate stream --seconds 5 --snapshot frame.png --json)",
         true, false, runStream},
        {"record", "", "record the 10-second test clip and play it back",
         R"(Records the library's 10-second test clip from the selected device's microphone, with a
level meter (updateVolume, 0 to 5) and a progress bar on a terminal, then plays it back
and prints the file's path. With --simulate the microphone hears a voice rising and
falling.

Examples:
  uvccamctl --simulate record
  uvccamctl --simulate --virtual-clock record --json)",
         true, false, runRecord},
        {"volume", "", "the system output and input volumes",
         R"(Shows the volume of the system's default output (speaker) and input (microphone) in
percent, whichever device is selected.

Examples:
  uvccamctl --simulate volume
  uvccamctl --simulate volume --json)",
         true, false, runVolume},
        {"transfer-mode", "", "switch every ST470 to transfer mode 1",
         R"(Runs the ST470 transfer-mode switch through the plain entry points
(createUvcCamControl, updateUvcCamTransferMode, disposeUvcCamControl), showing each
ST470's mode before and after. Blocks while it works: up to about two minutes per
camera that does not take the mode. Fails when an ST470 is not in mode 1 afterwards.

Examples:
  uvccamctl --simulate transfer-mode
  uvccamctl --simulate transfer-mode --json)",
         true, false, runTransferMode},
        {"watch", "[--seconds S] [--replug]", "print device arrivals and removals",
         R"(Prints deviceAdd, deviceRemove and deviceChange as they arrive, with the devices that
came or went, until Ctrl-C or for S seconds (needed with --virtual-clock). A camera has
a video and a HID function, so it arrives and leaves twice.
  --replug   with --simulate: unplug the selected device after 1 s and plug in one of
             the same model after 2 s
With --json each event is one object on a line of its own, and a last one ("end")
carries the counts.

Examples:
  uvccamctl watch
  uvccamctl --simulate --virtual-clock watch --seconds 3 --replug --json)",
         true, false, runWatch},
        {"hotkeys", "[--seconds S] [--press]", "register the global hot keys and print each press",
         R"(Registers the library's global hot keys (setKeyboardConnected(true)): Command (Control)
with an arrow, + or - (repeated while held) or L, and Option (Alt) with a digit. Prints
each keyPressed with its Qt key until Ctrl-C or for S seconds (needed with
--virtual-clock), then unregisters them. A press reports the modifier key, then the key.
Without --simulate the keys are grabbed on the X11 display (a PC keyboard's Ctrl and Alt);
when one is held by another program, or there is no display, the command fails.
  --press   with --simulate: press Command+Up (held), Option+1 and Command+L on the
            simulated keyboard
With --json each key value is one object on a line of its own, and a last one ("end")
carries the count.

Examples:
  uvccamctl --simulate hotkeys
  uvccamctl --simulate --virtual-clock hotkeys --seconds 3 --press --json)",
         true, false, runHotkeys},
        {"demo", "[--snapshot FILE.png]", "a guided tour on the simulated devices",
         R"(Shows each capability in turn on the simulated demonstration set (always, even without
--simulate): the device list, selecting a camera, a control and its range, a vendor
property over UVC and over HID, ten frames and a snapshot (default: uvccam-demo-snapshot.png
in the temporary directory), a recording with its level meter, the volumes; then a
summary. In real time it takes about 13 s; add --virtual-clock to run it at once.

Examples:
  uvccamctl demo
  uvccamctl --virtual-clock demo --snapshot demo.png)",
         false, true, runDemo},
    };
    return table;
}

const Command* findCommand(const QString& name)
{
    for (const Command& command : commandTable()) {
        if (name == QLatin1String(command.name))
            return &command;
    }
    return nullptr;
}

void printOverview(Console& console)
{
    const ToolHelp& help = toolHelp();
    console.line(QStringLiteral("uvccamctl: %1.").arg(QString::fromUtf8(help.summary)));
    console.line();
    for (std::size_t i = 0; i < help.usages.size(); ++i) {
        const HelpEntry& usage = help.usages[i];
        const QString note = *usage.text ? QStringLiteral("(%1)").arg(QString::fromUtf8(usage.text)) : QString();
        const QString term = QString::fromUtf8(usage.term);
        console.line(QStringLiteral("%1uvccamctl %2")
                         .arg(i == 0 ? QStringLiteral("usage: ") : QString(7, QLatin1Char(' ')),
                              note.isEmpty() ? term : term.leftJustified(kUsageColumn) + note));
    }
    console.line();
    console.line(QStringLiteral("Global options (%1):").arg(QString::fromUtf8(help.globalOptionsNote)));
    for (const HelpEntry& option : help.globalOptions)
        printEntry(console, option, kOptionColumn);
    console.line();
    console.line(QStringLiteral("Exit status:"));
    for (const HelpEntry& status : help.exitStatuses)
        printEntry(console, status, kStatusColumn);
    console.line();
    console.line(QStringLiteral("Commands:"));
    for (const Command& command : commandTable())
        console.line(QStringLiteral("  %1%2").arg(QString::fromLatin1(command.name).leftJustified(15), QLatin1String(command.summary)));
    console.line();
    console.line(QStringLiteral("Examples:"));
    for (const char* example : help.examples)
        console.line(QStringLiteral("  ") + QString::fromUtf8(example));
}

void printCommandHelp(Console& console, const Command& command)
{
    const QString synopsis = QLatin1String(command.synopsis);
    console.line(QStringLiteral("usage: uvccamctl [GLOBAL OPTIONS] %1%2")
                     .arg(QLatin1String(command.name), synopsis.isEmpty() ? QString() : QLatin1Char(' ') + synopsis));
    console.line();
    console.line(QLatin1String(command.details));
    if (command.offersJson)
        console.line(QStringLiteral("\n--json prints the result as JSON."));
}

}  // namespace uvccamctl
