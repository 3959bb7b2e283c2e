// The commands whose backend on real devices is still to come: one row each, removed as the backends land.
#include "PendingBackends.h"

#include "Commands.h"

namespace uvccamctl {

namespace {

struct PendingRow {
    const char* command;
    const char* worksWith;  // a flag with which the command already works, or nullptr
    const char* backend;    // what is missing, as the message names it
};

// Listing, hot-plug and the HID exchanges (hid, uac, xu --hid) work on real devices.
constexpr PendingRow kPending[] = {
    {"get", nullptr, "UVC camera controls"},
    {"set", nullptr, "UVC camera controls"},
    {"range", nullptr, "UVC camera controls"},
    // In HID mode only some selectors travel as HID reports; the rest need the extension units.
    {"xu", "--hid", "UVC extension units"},
    {"transfer-mode", nullptr, "UVC extension units"},
    {"stream", nullptr, "video capture"},
    {"record", nullptr, "audio capture"},
    {"volume", nullptr, "system volumes"},
    {"hotkeys", nullptr, "global hot keys"},
};

}  // namespace

QString pendingBackend(const Command& command, const QStringList& words)
{
    for (const PendingRow& row : kPending) {
        if (QLatin1String(row.command) != QLatin1String(command.name))
            continue;
        if (row.worksWith && words.contains(QLatin1String(row.worksWith)))
            return QString();
        const QString instead = row.worksWith ? QStringLiteral("%1 or --simulate").arg(QLatin1String(row.worksWith))
                                              : QStringLiteral("--simulate");
        return QStringLiteral("%1: no backend for %2 on this system yet; use %3")
            .arg(QLatin1String(row.command), QLatin1String(row.backend), instead);
    }
    return QString();
}

QString serialNumberPending()
{
    return QStringLiteral("(not read: no backend for USB requests on this system yet)");
}

}  // namespace uvccamctl
