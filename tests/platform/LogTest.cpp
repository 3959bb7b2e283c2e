// Tests of the message formatter against the C library's printf, and of the log sinks.
#include "platform/Log.h"
#include "platform/linux/LogSinkSystem.h"
#include "platform/sim/LogSinkRecorder.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QtGlobal>

#include <climits>
#include <cstdio>
#include <string>

using namespace uvccam::platform;

namespace {

struct PrintfRow {
    const char* format;
    std::string expected; // what the C library prints
    QString actual;
};

// What the C library prints for the C arguments, next to what formatMessage prints for args.
template <typename... CArgs>
PrintfRow row(const char* format, std::initializer_list<LogArg> args, CArgs... cArgs)
{
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format, cArgs...);
    return { format, buffer, formatMessage(format, args) };
}

template <typename... Args> PrintfRow same(const char* format, Args... args)
{
    return row(format, { LogArg(args)... }, args...);
}

QString format(const char* text, std::initializer_list<LogArg> args = {})
{
    return formatMessage(text, args);
}

QString lastQtDebug;

} // namespace

TEST(FormatMessage, MatchesPrintf)
{
    const PrintfRow rows[] = { same("PID:%04x", 0x470a), same("%x", -1), same("%d", -5),
        same("%u", -1), same("%08x", 0xbeefu), same("%02X", 0xab), same("%ld", -1234567890123L),
        same("%lld", LLONG_MIN), same("%llu", ULLONG_MAX), same("%lx", -1L),
        same("%zu", sizeof(int)), same("%5d", 42), same("%-5d|", 42), same("%+d", 7),
        same("% d", 7), same("%5.3d", 7), same("%.0d", 0), same("%#o", 8), same("%#x", 255),
        same("%i", 12), same("%hhx", 0x1ff), same("%hd", 70000), same("%hu", -1),
        same("%.3f", 3.14159), same("%10.2f|", -2.5), same("%e", 12345.678), same("%G", 1e-10),
        same("%g", 0.0001), same("%F", 1.5), same("%c", 'A'), same("%-3c|", 'z'), same("%%"),
        same("100%% %d%%", 5), same("%-8s|", "abc"), same("%.2s", "abcdef"), same("%5s", "ab"),
        same("%05s", "ab"), same("%s", static_cast<const char*>(nullptr)),
        same("%d items, %s, %x", 3, "ok", 0xffu),
        // printf reads these as a narrower type, or one LogArg has no counterpart for.
        row("%d", { 0x100000005LL }, static_cast<int>(0x100000005LL)),
        row("%x", { 0x1234567890ULL }, static_cast<unsigned>(0x1234567890ULL)),
        row("%p", { 0x1234u }, reinterpret_cast<void*>(0x1234)),
        row("%12p|", { 0xbeefu }, reinterpret_cast<void*>(0xbeef)),
        row("%p", { 0u }, static_cast<void*>(nullptr)) };
    for (const PrintfRow& each : rows)
        EXPECT_EQ(each.actual.toStdString(), each.expected) << "format \"" << each.format << '"';
}

TEST(FormatMessage, TextIsUnicodeAndNullPrintsAsNull)
{
    const QString text = QStringLiteral("Grüße 東京 \U0001F600");
    EXPECT_EQ(format("%@", { text }), text);
    EXPECT_EQ(format("名前: %s!", { text.toUtf8().constData() }), "名前: " + text + "!");
    // Width and precision count characters, and never split a surrogate pair.
    EXPECT_EQ(format("%.2s|", { QStringLiteral("a\U0001F600b") }), QStringLiteral("a\U0001F600|"));
    EXPECT_EQ(format("%3s|", { QStringLiteral("\U0001F600") }), QStringLiteral("  \U0001F600|"));
    EXPECT_EQ(format("%-3s|", { QStringLiteral("é") }), QStringLiteral("é  |"));
    EXPECT_EQ(format("%10.1@|", { QStringLiteral("abc") }), "abc|");
    EXPECT_EQ(format("%c%c", { 0x141, 0xe9 }), QStringLiteral("Aé")); // low byte, as Latin-1
    EXPECT_EQ(format("[%@|%s|%@]", { QString(), static_cast<const char*>(nullptr), "" }),
        "[(null)|(null)|]");
    EXPECT_EQ(format("%s %@ %@ %@", { 42, -7, ULLONG_MAX, 0.1 }), "42 -7 18446744073709551615 0.1");
    EXPECT_EQ(format(nullptr, { 1 }), QString());
}

TEST(FormatMessage, ArgumentMismatchesAndMalformedDirectives)
{
    // Missing arguments print nothing, surplus ones are ignored.
    EXPECT_EQ(format("a%db%5sc%@d|"), "abcd|");
    EXPECT_EQ(format("%d-%d", { 1 }), "1-");
    EXPECT_EQ(format("x %d", { 1, 2, "three" }), "x 1");
    // What the formatter does not know prints as written and consumes no argument.
    EXPECT_EQ(format("%y%d", { 3 }), "%y3");
    EXPECT_EQ(format("%-5y|%n|%d", { 4 }), "%-5y|%n|4");
    EXPECT_EQ(format("%*d %.*d %d", { 5 }), "%*d %.*d 5");
    EXPECT_EQ(format("%é%d", { 6 }), "%é6");
    EXPECT_EQ(format("100%"), "100%");
    EXPECT_EQ(format("cut %-0"), "cut %-0");
}

TEST(LogArg, ConvertsBetweenKindsWithoutUndefinedBehaviour)
{
    EXPECT_EQ(LogArg(-1).asUnsigned(), ULLONG_MAX);
    EXPECT_EQ(LogArg(-1.0).asUnsigned(), ULLONG_MAX);
    EXPECT_EQ(LogArg(1e300).asSigned(), LLONG_MAX);
    EXPECT_EQ(LogArg(1e300).asUnsigned(), ULLONG_MAX);
    EXPECT_EQ(LogArg(qQNaN()).asSigned(), 0);
    EXPECT_EQ(LogArg("-1").asUnsigned(), ULLONG_MAX);
    EXPECT_EQ(LogArg("word").asUnsigned(), 0u);
    EXPECT_EQ(LogArg(" 2.5").asReal(), 2.5);
}

TEST(LogSinkRecorder, RecordsInOrderByChannelAndForwards)
{
    LogSinkRecorder downstream;
    LogSinkRecorder recorder(&downstream);
    recorder.write(LogChannel::System, "one");
    recorder.write(LogChannel::StandardOutput, "two");
    recorder.write(LogChannel::System, "three");
    ASSERT_EQ(recorder.entries().size(), 3u);
    EXPECT_EQ(recorder.entries()[1].channel, LogChannel::StandardOutput);
    EXPECT_EQ(recorder.entries()[1].message, "two");
    EXPECT_EQ(recorder.messages(LogChannel::System), QStringList({ "one", "three" }));
    EXPECT_EQ(downstream.messages(LogChannel::System), QStringList({ "one", "three" }));
    recorder.clear();
    EXPECT_TRUE(recorder.entries().empty());
    EXPECT_EQ(downstream.entries().size(), 3u);
}

TEST(LogSinkSystem, PassesTheTextOnExactlyNeverAsAFormat)
{
    LogSinkSystem sink;
    testing::internal::CaptureStdout();
    sink.write(LogChannel::StandardOutput, QStringLiteral("50% %s é"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "50% %s é");
    testing::internal::CaptureStderr();
    sink.write(LogChannel::StandardError, QStringLiteral("dump"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "dump\n");

    const QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
              lastQtDebug = message;
          });
    sink.write(LogChannel::QtDebug, QStringLiteral("%s%n 東京"));
    qInstallMessageHandler(previous);
    EXPECT_EQ(lastQtDebug, QStringLiteral("%s%n 東京"));
}
