// Tests of the message formatter against the C library's printf, and of the log sinks.
#include "platform/Log.h"
#include "platform/linux/LogSinkSystem.h"
#include "platform/sim/LogSinkRecorder.h"

#include <gtest/gtest.h>

#include <QtGlobal>

#include <cctype>
#include <climits>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>

using namespace uvccam::platform;

namespace {

struct PrintfCase {
    std::string format;
    std::string expected; // what the C library prints
    std::function<QString()> actual;
};

void PrintTo(const PrintfCase& c, std::ostream* os) { *os << '"' << c.format << '"'; }

// The same arguments go to snprintf and formatMessage, so each row checks one conversion
// against the real thing.
template <typename... Args> PrintfCase same(const char* format, Args... args)
{
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return { format, buffer, [=] { return formatMessage(format, { LogArg(args)... }); } };
}

// For a C argument whose type LogArg has no counterpart, or that printf reads as a
// narrower type than the one given.
template <typename CArg> PrintfCase as(const char* format, CArg cArg, LogArg arg)
{
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format, cArg);
    return { format, buffer, [=] { return formatMessage(format, { arg }); } };
}

class FormatMatchesPrintf : public testing::TestWithParam<PrintfCase> { };

TEST_P(FormatMatchesPrintf, Case)
{
    EXPECT_EQ(GetParam().actual().toStdString(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Conversions, FormatMatchesPrintf,
    testing::Values(same("%04x", 0x2a), same("PID:%04x", 0x470a), same("%x", -1), same("%d", -5),
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
        as("%d", static_cast<int>(0x100000005LL), LogArg(0x100000005LL)),
        as("%x", static_cast<unsigned>(0x1234567890ULL), LogArg(0x1234567890ULL)),
        as("%p", reinterpret_cast<void*>(0x1234), LogArg(0x1234u)),
        as("%12p|", reinterpret_cast<void*>(0xbeef), LogArg(0xbeefu)),
        as("%p", static_cast<void*>(nullptr), LogArg(0u))),
    [](const testing::TestParamInfo<PrintfCase>& row) {
        std::string name = std::to_string(row.index) + "_";
        for (const char c : row.param.format)
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

QString format(const char* text, std::initializer_list<LogArg> args = {})
{
    return formatMessage(text, args);
}

TEST(FormatMessage, PrintsTextArgumentsAsUnicode)
{
    const QString text = QStringLiteral("Grüße 東京 \U0001F600");
    EXPECT_EQ(format("%@", { text }), text);
    EXPECT_EQ(
        format("名前: %s!", { text.toUtf8().constData() }), QStringLiteral("名前: ") + text + "!");
    // Width and precision count characters, and never split a surrogate pair.
    EXPECT_EQ(format("%.2s|", { QStringLiteral("a\U0001F600b") }), QStringLiteral("a\U0001F600|"));
    EXPECT_EQ(format("%3s|", { QStringLiteral("\U0001F600") }), QStringLiteral("  \U0001F600|"));
    EXPECT_EQ(format("%-3s|", { QStringLiteral("é") }), QStringLiteral("é  |"));
    EXPECT_EQ(format("%10.1@|", { QStringLiteral("abc") }), QStringLiteral("abc|"));
}

TEST(FormatMessage, NullAndEmptyText)
{
    EXPECT_EQ(format("%@", { QString() }), "(null)");
    EXPECT_EQ(format("[%s]", { static_cast<const char*>(nullptr) }), "[(null)]");
    EXPECT_EQ(format("[%@]", { QStringLiteral("") }), "[]");
    EXPECT_EQ(format("[%s]", { "" }), "[]");
    EXPECT_EQ(format(nullptr, { 1 }), QString());
}

TEST(FormatMessage, NumbersPrintedAsText)
{
    EXPECT_EQ(format("%s %@ %@", { 42, -7, ULLONG_MAX }), "42 -7 18446744073709551615");
    EXPECT_EQ(format("%@ %@", { 0.1, 2.0 }), "0.1 2");
}

TEST(FormatMessage, ArgumentCountMismatches)
{
    EXPECT_EQ(format("a%db%5sc%@d|"), "abcd|");
    EXPECT_EQ(format("%d-%d", { 1 }), "1-");
    EXPECT_EQ(format("x %d", { 1, 2, "three" }), "x 1");
}

TEST(FormatMessage, MalformedDirectivesPrintLiterallyAndConsumeNothing)
{
    EXPECT_EQ(format("%y%d", { 3 }), "%y3");
    EXPECT_EQ(format("%-5y|%n|%d", { 4 }), "%-5y|%n|4");
    EXPECT_EQ(format("%*d %.*d %d", { 5 }), "%*d %.*d 5");
    EXPECT_EQ(format("%é%d", { 6 }), "%é6");
    EXPECT_EQ(format("100%"), "100%");
    EXPECT_EQ(format("cut %-0"), "cut %-0");
    EXPECT_EQ(format("%%%d", { 7 }), "%7");
}

TEST(FormatMessage, CharacterIsLowByteAsLatin1)
{
    EXPECT_EQ(format("%c", { 0x141 }), "A");
    EXPECT_EQ(format("%c", { 0xe9 }), QStringLiteral("é"));
}

TEST(LogArg, ConvertsBetweenKinds)
{
    EXPECT_EQ(LogArg(-1).asUnsigned(), ULLONG_MAX);
    EXPECT_EQ(LogArg(ULLONG_MAX).asSigned(), -1);
    EXPECT_EQ(LogArg(-2.9).asSigned(), -2);
    EXPECT_EQ(LogArg(-1.0).asUnsigned(), ULLONG_MAX);
    EXPECT_EQ(LogArg(1e300).asSigned(), LLONG_MAX);
    EXPECT_EQ(LogArg(1e300).asUnsigned(), ULLONG_MAX);
    EXPECT_EQ(LogArg(qQNaN()).asSigned(), 0);
    EXPECT_EQ(LogArg("42").asSigned(), 42);
    EXPECT_EQ(LogArg("-1").asUnsigned(), ULLONG_MAX);
    EXPECT_EQ(LogArg("word").asUnsigned(), 0u);
    EXPECT_EQ(LogArg("2.5").asReal(), 2.5);
    EXPECT_EQ(LogArg(-5L).asText(), "-5");
    EXPECT_EQ(LogArg(7u).asReal(), 7.0);
}

TEST(LogChannelName, NamesEveryChannel)
{
    EXPECT_STREQ(logChannelName(LogChannel::System), "system");
    EXPECT_STREQ(logChannelName(LogChannel::QtDebug), "qtdebug");
    EXPECT_STREQ(logChannelName(LogChannel::StandardOutput), "stdout");
    EXPECT_STREQ(logChannelName(LogChannel::StandardError), "stderr");
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
    EXPECT_TRUE(recorder.messages(LogChannel::QtDebug).isEmpty());
    EXPECT_EQ(downstream.messages(LogChannel::System), QStringList({ "one", "three" }));

    recorder.clear();
    EXPECT_TRUE(recorder.entries().empty());
    EXPECT_EQ(downstream.entries().size(), 3u);
}

TEST(LogSinkSystem, StandardStreamsGetTheTextExactly)
{
    LogSinkSystem sink;
    testing::internal::CaptureStdout();
    sink.write(LogChannel::StandardOutput, QStringLiteral("50% %s é"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "50% %s é");

    testing::internal::CaptureStderr();
    sink.write(LogChannel::StandardError, QStringLiteral("dump"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "dump\n");
}

QString lastQtDebug;

TEST(LogSinkSystem, QtDebugPassesTheMessageVerbatim)
{
    const QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
              lastQtDebug = message;
          });
    LogSinkSystem().write(LogChannel::QtDebug, QStringLiteral("%s%n 東京"));
    qInstallMessageHandler(previous);
    EXPECT_EQ(lastQtDebug, QStringLiteral("%s%n 東京"));
}

} // namespace
