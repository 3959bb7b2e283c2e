// The commands whose backend on real devices is still to come: one row each, removed as the backends land.
#include "PendingBackends.h"

#include "Commands.h"

#include <array>

namespace uvccamctl {

namespace {

struct PendingRow {
    const char* command;
    const char* backend;  // what is missing, as the message names it
};

// Listing, hot-plug, the HID exchanges (hid, uac), the standard controls (get, set, range),
// the extension units (xu, transfer-mode), video (stream), the microphone test (record),
// the system volumes (volume) and the global hot keys (hotkeys, on an X11 display) work on
// real devices: no command waits for a backend now.
constexpr std::array<PendingRow, 0> kPending{};

}  // namespace

QString pendingBackend(const Command& command)
{
    for (const PendingRow& row : kPending) {
        if (QLatin1String(row.command) == QLatin1String(command.name))
            return QStringLiteral("%1: no backend for %2 on this system yet; use --simulate")
                .arg(QLatin1String(row.command), QLatin1String(row.backend));
    }
    return QString();
}

}  // namespace uvccamctl
