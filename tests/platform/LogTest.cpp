// Tests of the message formatter against the C library's printf, and of the log sinks.
#include "platform/Log.h"
#include "platform/linux/LogSinkSystem.h"
#include "platform/sim/LogSinkRecorder.h"
#include "support/QtPrinters.h"
#include "support/SimulatedWorld.h"

#include <gtest/gtest.h>

#include <QVariantList>
#include <QtGlobal>

#include <climits>
#include <cstdio>
#include <string>

using namespace uvccam::platform;

namespace {

// The format, what the C library prints for the C arguments, and what formatMessage prints for args.
struct PrintfRow {
    const char* format;
    std::string expected;
    QString actual;
};

template <typename... CArgs> PrintfRow row(const char* format, std::initializer_list<LogArg> args, CArgs... cArgs)
{
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format, cArgs...);
    return { format, buffer, formatMessage(format, args) };
}

template <typename... Args> PrintfRow same(const char* format, Args... args) { return row(format, { LogArg(args)... }, args...); }

QString format(const char* text, std::initializer_list<LogArg> args = {}) { return formatMessage(text, args); }

QVariantList heardByQt;

} // namespace

TEST(FormatMessage, MatchesPrintf)
{
    const PrintfRow rows[] = { same("PID:%04x", 0x470a), same("%x", -1), same("%d", -5), same("%u", -1),
        same("%02X", 0xab), same("%ld", -1234567890123L), same("%lld", LLONG_MIN), same("%llu", ULLONG_MAX),
        same("%zu", sizeof(int)), same("%-5d|", 42), same("%+d", 7), same("% d", 7), same("%5.3d", 7),
        same("%.0d", 0), same("%#o", 8), same("%#x", 255), same("%i", 12), same("%hhx", 0x1ff), same("%hd", 70000),
        same("%hu", -1), same("%.3f", 3.14159), same("%10.2f|", -2.5), same("%e", 12345.678), same("%G", 1e-10),
        same("%g", 0.0001), same("%F", 1.5), same("%c", 'A'), same("%-3c|", 'z'), same("100%% %d%%", 5),
        same("%-8s|", "abc"), same("%.2s", "abcdef"), same("%05s", "ab"), same("%s", static_cast<const char*>(nullptr)),
        same("%d items, %s, %x", 3, "ok", 0xffu),
        // printf reads these as a narrower type, or one LogArg has no counterpart for.
        row("%d", { 0x100000005LL }, static_cast<int>(0x100000005LL)),
        row("%x", { 0x1234567890ULL }, static_cast<unsigned>(0x1234567890ULL)),
        row("%12p|", { 0xbeefu }, reinterpret_cast<void*>(0xbeef)), row("%p", { 0u }, static_cast<void*>(nullptr)) };
    for (const PrintfRow& each : rows)
        EXPECT_EQ(each.actual.toStdString(), each.expected) << "format \"" << each.format << '"';
}

TEST(FormatMessage, TextNullsMismatchedArgumentsAndMalformedDirectives)
{
    const QString text = QStringLiteral("Grüße 東京 \U0001F600");
    EXPECT_EQ(format("%@", { text }), text);
    EXPECT_EQ(format("名前: %s!", { text.toUtf8().constData() }), "名前: " + text + "!");
    // Width and precision count characters and never split a surrogate pair; %@ takes neither.
    EXPECT_EQ(format("%.2s|%3s|%10.1@|", { QStringLiteral("a\U0001F600b"), QStringLiteral("\U0001F600"), "abc" }),
        QStringLiteral("a\U0001F600|  \U0001F600|abc|"));
    EXPECT_EQ(format("%c%c", { 0x141, 0xe9 }), QStringLiteral("Aé")); // low byte, as Latin-1
    EXPECT_EQ(format("[%@|%s|%@]", { QString(), static_cast<const char*>(nullptr), "" }), "[(null)|(null)|]");
    EXPECT_EQ(format(nullptr, { 1 }), QString());
    // An argument of another kind converts, saturating rather than overflowing.
    EXPECT_EQ(format("%s %@ %@ %@", { 42, -7, ULLONG_MAX, 0.1 }), "42 -7 18446744073709551615 0.1");
    EXPECT_EQ(format("%llu %lld %llu %d %llu %llu %g", { -1.0, 1e300, 1e300, qQNaN(), "-1", "word", " 2.5" }),
        "18446744073709551615 9223372036854775807 18446744073709551615 0 18446744073709551615 0 2.5");
    // Missing arguments print nothing, surplus ones are ignored.
    EXPECT_EQ(format("a%db%5sc%@d|", { 1 }), "a1bcd|");
    EXPECT_EQ(format("x %d", { 1, 2, "three" }), "x 1");
    // What the formatter does not know prints as written and consumes no argument.
    EXPECT_EQ(format("%-5y|%n|%*d %.*d %é%d", { 4 }), "%-5y|%n|%*d %.*d %é4");
    EXPECT_EQ(format("100%"), "100%");
    EXPECT_EQ(format("cut %-0"), "cut %-0");
}

// Recording in order by channel, and clearing, is what every suite's log checks rely on.
TEST(LogSinkRecorder, ForwardsWhatItRecordsAndKeepsItAfterItIsCleared)
{
    LogSinkRecorder downstream;
    LogSinkRecorder recorder(&downstream);
    for (const auto channel : { LogChannel::System, LogChannel::StandardOutput, LogChannel::System })
        recorder.write(channel, QString::number(recorder.entries().size()));
    recorder.clear();
    EXPECT_EQ(downstream.messages(LogChannel::System), QStringList({ "0", "2" }));
    EXPECT_EQ(downstream.messages(LogChannel::StandardOutput), QStringList({ "1" }));
}

TEST(LogSinkSystem, SendsEachChannelToItsOwnDestinationNeverUsingTheTextAsAFormat)
{
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext&, const QString& message) { heardByQt << type << message; });
    const QString text = QStringLiteral("50% %s%n 東京");
    const std::string utf8 = text.toStdString();
    const struct {
        LogChannel channel;
        std::string out, err;
        QVariantList qt;
    } rows[] = { { LogChannel::System, "", "", {} }, { LogChannel::QtDebug, "", "", { QtDebugMsg, text } },
        { LogChannel::StandardOutput, utf8, "", {} }, { LogChannel::StandardError, "", utf8 + "\n", {} } };
    LogSinkSystem sink;
    for (const auto& row : rows) {
        SCOPED_TRACE(logChannelName(row.channel));
        heardByQt.clear();
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        sink.write(row.channel, text);
        EXPECT_EQ(std::pair(testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()),
            std::pair(row.out, row.err));
        EXPECT_EQ(heardByQt, row.qt);
    }
    qInstallMessageHandler(previous);
}

using DiagnosticHandlerTest = uvccam::testing::SimulatedWorld;

TEST_F(DiagnosticHandlerTest, TakesEveryChannelFromTheSinkUntilRemovedAndMayReplaceItselfWhileRunning)
{
    std::vector<std::pair<LogChannel, QString>> heard;
    EXPECT_FALSE(uvccam::setDiagnosticHandler([&](LogChannel channel, const QString& text) { heard.emplace_back(channel, text); }));
    const LogChannel channels[] = { LogChannel::System, LogChannel::QtDebug, LogChannel::StandardOutput, LogChannel::StandardError };
    for (const LogChannel channel : channels)
        writeLog(channel, "%s %d", { logChannelName(channel), 1 });
    ASSERT_EQ(heard.size(), 4u);
    for (std::size_t i = 0; i < heard.size(); ++i)
        EXPECT_EQ(heard[i], std::pair(channels[i], QString::fromLatin1(logChannelName(channels[i])) + " 1"));
    EXPECT_TRUE(log().entries().empty());

    // The previous handler comes back, so a host can restore it; the one replacing itself
    // finishes the message it was given.
    int finished = 0;
    auto previous = uvccam::setDiagnosticHandler([&](LogChannel, const QString& text) {
        uvccam::setDiagnosticHandler({});
        finished += text == "last";
    });
    ASSERT_TRUE(previous);
    logSystem("last");
    logSystem("back to the sink");
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(heard.size(), 4u);
    EXPECT_EQ(log().messages(LogChannel::System), QStringList("back to the sink"));
}
