// xu, hid and uac: the maker's vendor properties, raw HID reports and audio properties.
#include "Commands.h"

#include <QJsonObject>
#include <QtEndian>

namespace uvccamctl {

namespace {

// What one property report carries after its report ID, command and selector.
constexpr int kPropertyValueMax = 509;
// The maker's HID reports are 512 bytes long.
constexpr int kReportMax = 512;
// An audio property's value travels in a 64-byte block.
constexpr int kUacValueMax = 64;
// getExHidReport writes the answer back into the report's buffer from byte 1: the
// acknowledgement, a two-byte count and up to 505 data bytes. A shorter buffer would make
// the library refuse every answer with more data than it holds.
constexpr int kQueryMin = 4 + 505;

// Reads "get" or "set" and names the command after it in messages.
std::optional<QString> takeAction(Arguments& arguments, const QString& command, const QStringList& actions)
{
    const std::optional<QString> action = arguments.takeWord(QStringLiteral("ACTION (%1)").arg(actions.join(QStringLiteral(" or "))));
    if (!action)
        return std::nullopt;
    if (!actions.contains(*action)) {
        arguments.fail(QStringLiteral("unknown action '%1' (%2)").arg(*action, actions.join(QStringLiteral(" or "))));
        return std::nullopt;
    }
    arguments.setCommandName(command + QLatin1Char(' ') + *action);
    return action;
}

std::optional<qint64> takeSelector(Arguments& arguments)
{
    // Only the low byte of a selector reaches the device; a larger number would alias.
    return arguments.takeInteger(QStringLiteral("SELECTOR"), 0, 255);
}

// A HID exchange may wait for the device's answer for up to about 6.5 s of retries.
QString waitingText(const QString& command)
{
    return command + QStringLiteral(": waiting for the device's answer");
}

// Bytes as scripts take them back: hexadecimal digits without spaces.
QString hexDigits(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

}  // namespace

int runXu(Session& session, Arguments& arguments)
{
    const std::optional<QString> action = takeAction(arguments, QStringLiteral("xu"), {QStringLiteral("get"), QStringLiteral("set")});
    const bool uvc = arguments.takeFlag(QStringLiteral("--uvc"));
    const bool hid = arguments.takeFlag(QStringLiteral("--hid"));
    if (uvc && hid)
        arguments.fail(QStringLiteral("--uvc and --hid exclude each other"));
    const std::optional<qint64> selector = takeSelector(arguments);
    const std::optional<qint64> unit = arguments.takeInteger(QStringLiteral("UNIT-INDEX"), 1, 6);
    std::optional<QByteArray> bytes;
    if (action == QLatin1String("get")) {
        if (const std::optional<qint64> length = arguments.takeInteger(QStringLiteral("LENGTH"), 1, kPropertyValueMax))
            bytes = QByteArray(static_cast<int>(*length), '\0');
    } else {
        bytes = arguments.takeHexBytes(QStringLiteral("HEXBYTES"), kPropertyValueMax);
    }
    if (!bytes || !arguments.finish())
        return session.badUsage(arguments.error());
    const QString command = QStringLiteral("xu ") + *action;
    if (!session.requireDevice(command))
        return kNoDevice;

    UVCCam& camera = session.camera();
    // HID mode (the library's default) carries selector 3 of unit 1, and a speakerphone's
    // selectors up to 6, as HID reports; UVC mode sends everything to the extension units.
    if (uvc || hid)
        camera.setProtocolMode(hid ? 1 : 0);
    const auto length = static_cast<unsigned int>(bytes->size());
    const auto selectorValue = static_cast<unsigned short>(*selector);
    const int unitIndex = static_cast<int>(*unit);
    const bool get = action == QLatin1String("get");
    int result = 0;
    {
        WaitNotice notice(session.console(), waitingText(command));
        result = get ? camera.getExProperty(selectorValue, bytes->data(), length, unitIndex)
                     : camera.setExProperty(selectorValue, bytes->data(), length, unitIndex);
    }
    if (result != 0)
        return session.refused(QStringLiteral("%1: the device refused selector %2 of unit %3").arg(command).arg(*selector).arg(unitIndex));
    if (session.options().json) {
        session.console().json(QJsonObject{{QStringLiteral("action"), *action},
                                           {QStringLiteral("selector"), *selector},
                                           {QStringLiteral("unit"), unitIndex},
                                           {QStringLiteral("data"), hexDigits(*bytes)}});
    } else if (get) {
        session.console().line(Console::hex(*bytes));
    } else {
        session.console().line(QStringLiteral("selector %1 of unit %2: wrote %3").arg(*selector).arg(unitIndex).arg(Console::hex(*bytes)));
    }
    return kSuccess;
}

int runHid(Session& session, Arguments& arguments)
{
    // Options first, so that an option's value is never taken for the action.
    const std::optional<qint64> givenMode = arguments.takeIntegerOption(QStringLiteral("--mode"), 0, 1);
    const std::optional<qint64> givenLength = arguments.takeIntegerOption(QStringLiteral("--length"), kQueryMin, kReportMax);
    const std::optional<QString> action = takeAction(arguments, QStringLiteral("hid"), {QStringLiteral("send"), QStringLiteral("query")});
    const bool send = action == QLatin1String("send");
    if (action && send && givenLength)
        arguments.fail(QStringLiteral("--length belongs to hid query"));
    if (action && !send && givenMode)
        arguments.fail(QStringLiteral("--mode belongs to hid send"));
    const qint64 mode = givenMode.value_or(0);
    const qint64 length = givenLength.value_or(kReportMax);
    std::optional<QByteArray> report = arguments.takeHexBytes(QStringLiteral("HEXBYTES"), kReportMax);
    if (report && send && mode == 0 && report->size() < 2)
        arguments.fail(QStringLiteral("--mode 0 needs a report of at least 2 bytes (the answer must repeat byte 1)"));
    if (report && !send && report->size() > length)
        arguments.fail(QStringLiteral("HEXBYTES has %1 bytes, more than --length %2").arg(report->size()).arg(length));
    if (!report || !arguments.finish())
        return session.badUsage(arguments.error());
    const QString command = QStringLiteral("hid ") + *action;
    if (!session.requireDevice(command))
        return kNoDevice;

    UVCCam& camera = session.camera();
    Console& console = session.console();
    const bool json = session.options().json;
    if (send) {
        int result = 0;
        {
            WaitNotice notice(console, waitingText(command));
            result = camera.setExHidReport(report->data(), static_cast<unsigned int>(report->size()), static_cast<int>(mode));
        }
        if (result < 0)
            return session.refused(QStringLiteral("%1: the device did not acknowledge the report").arg(command));
        // Mode 0 answers with the device's result byte; mode 1 only acknowledges.
        if (json)
            console.json(QJsonObject{{QStringLiteral("action"), *action},
                                     {QStringLiteral("mode"), mode},
                                     {QStringLiteral("result"), mode == 0 ? QJsonValue(result) : QJsonValue()}});
        else
            console.line(mode == 0 ? QStringLiteral("result byte: 0x%1").arg(result, 2, 16, QLatin1Char('0'))
                                   : QStringLiteral("acknowledged"));
        return kSuccess;
    }
    // The answer comes back in the same buffer, so the report goes out at its full length.
    report->append(QByteArray(static_cast<int>(length) - report->size(), '\0'));
    int result = 0;
    {
        WaitNotice notice(console, waitingText(command));
        result = camera.getExHidReport(report->data(), static_cast<unsigned int>(report->size()));
    }
    if (result != 0)
        return session.refused(QStringLiteral("%1: the device gave no answer the library accepts").arg(command));
    const auto* answer = reinterpret_cast<const uchar*>(report->constData());
    const int count = qFromLittleEndian<quint16>(answer + 2);
    if (json) {
        console.json(QJsonObject{{QStringLiteral("action"), *action},
                                 {QStringLiteral("acknowledgement"), answer[1]},
                                 {QStringLiteral("data"), hexDigits(report->mid(4, count))}});
        return kSuccess;
    }
    console.line(QStringLiteral("acknowledgement: 0x%1").arg(answer[1], 2, 16, QLatin1Char('0')));
    console.line(QStringLiteral("data (%1 bytes): %2").arg(count).arg(Console::hex(report->mid(4, count))));
    return kSuccess;
}

int runUac(Session& session, Arguments& arguments)
{
    const std::optional<QString> action = takeAction(arguments, QStringLiteral("uac"), {QStringLiteral("get"), QStringLiteral("set")});
    const std::optional<qint64> selector = takeSelector(arguments);
    std::optional<QByteArray> bytes;
    if (action == QLatin1String("get")) {
        if (const std::optional<qint64> length = arguments.takeInteger(QStringLiteral("LENGTH"), 1, kUacValueMax))
            bytes = QByteArray(static_cast<int>(*length), '\0');
    } else {
        bytes = arguments.takeHexBytes(QStringLiteral("HEXBYTES"), kUacValueMax);
    }
    if (!bytes || !arguments.finish())
        return session.badUsage(arguments.error());
    const QString command = QStringLiteral("uac ") + *action;
    if (!session.requireSpeakerphone(command))
        return kNoDevice;

    UVCCam& camera = session.camera();
    const auto selectorValue = static_cast<unsigned short>(*selector);
    const auto length = static_cast<unsigned int>(bytes->size());
    const bool get = action == QLatin1String("get");
    int result = 0;
    {
        WaitNotice notice(session.console(), waitingText(command));
        result = get ? camera.getUACHidProperty(selectorValue, bytes->data(), length)
                     : camera.setUACHidProperty(selectorValue, bytes->data(), length);
    }
    if (result != 0)
        return session.refused(QStringLiteral("%1: the device refused audio selector %2").arg(command).arg(*selector));
    if (session.options().json)
        session.console().json(QJsonObject{{QStringLiteral("action"), *action},
                                           {QStringLiteral("selector"), *selector},
                                           {QStringLiteral("data"), hexDigits(*bytes)}});
    else
        session.console().line(get ? Console::hex(*bytes)
                                   : QStringLiteral("audio selector %1: wrote %2").arg(*selector).arg(Console::hex(*bytes)));
    return kSuccess;
}

}  // namespace uvccamctl
