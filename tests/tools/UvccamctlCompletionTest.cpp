// The bash completion script, sourced by a non-interactive bash and asked as bash asks it:
// COMP_WORDS and COMP_CWORD set, the function called, COMPREPLY read back.
#include "ProgramRun.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

// The candidates, sorted, for the line after "uvccamctl", the last word being the one
// completed (empty after a trailing space).
QStringList complete(const QString& line)
{
    QStringList words = line.split(QLatin1Char(' '));
    const QString script = QStringLiteral(R"(source "$1" || exit 1
shift
COMP_WORDS=("$@")
COMP_CWORD=$(($# - 1))
_uvccamctl
printf '%s\n' "${COMPREPLY[@]}")");
    const ProgramRun bash = runProgram(QStringLiteral("bash"),
                                       QStringList{"--norc", "--noprofile", "-c", script, "bash", UVCCAMCTL_COMPLETION, UVCCAMCTL_PATH} + words);
    EXPECT_EQ(bash.status, 0) << bash.err.toStdString();
    QStringList candidates = bash.lines();
    candidates.sort();
    return candidates;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

TEST(UvccamctlCompletion, CompletesFromTheToolsOwnTables)
{
    const struct {
        const char* line;
        QStringList candidates;
    } cases[] = {
        {"tr", {"transfer-mode"}},
        {"h", {"help", "hid", "hotkeys"}},
        {"--ver", {"--verbose", "--version"}},
        {"--simulate --js", {"--json"}},
        {"get auto", {"auto-focus", "auto-white-balance"}},
        {"--simulate range a", {"all", "auto-focus", "auto-white-balance"}},
        {"set a", {"auto-focus", "auto-white-balance"}},  // set takes no "all"
        {"set zoom ", {}},
        {"xu ", {"get", "set"}},
        {"--device 10400000 hid q", {"query"}},
        {"stream --s", {"--seconds", "--simulate", "--snapshot"}},
        {"help wa", {"watch"}},
        {"help watch ", {}},
        {"frob ", {}},
    };
    for (const auto& test : cases)
        EXPECT_EQ(complete(QString::fromUtf8(test.line)), sorted(test.candidates)) << test.line;
}

TEST(UvccamctlCompletion, OffersEveryControlAfterGet)
{
    const QStringList candidates = complete(QStringLiteral("get "));
    EXPECT_EQ(candidates.size(), 15);  // the 14 controls and "all"
    EXPECT_TRUE(candidates.contains(QStringLiteral("power-line")));
    EXPECT_TRUE(candidates.contains(QStringLiteral("all")));
}

// After --device the candidates are the unique IDs that list shows, of the simulated set
// when --simulate is on the line.
TEST(UvccamctlCompletion, OffersTheAttachedDevicesAfterDevice)
{
    const ProgramRun list = runProgram(QStringLiteral(UVCCAMCTL_PATH), {"--simulate", "--virtual-clock", "list", "--json"});
    QStringList uniqueIds;
    for (const QJsonValue& device : QJsonDocument::fromJson(list.out.toUtf8()).array())
        uniqueIds << device.toObject().value(QStringLiteral("uniqueId")).toString();
    ASSERT_EQ(uniqueIds.size(), 4) << list.out.toStdString();

    EXPECT_EQ(complete(QStringLiteral("--simulate --device ")), sorted(uniqueIds));
    EXPECT_EQ(complete(QStringLiteral("--device 104 --simulate")), QStringList{"--simulate"});
    EXPECT_EQ(complete(QStringLiteral("--simulate list --device 104")), QStringList{"10400000"});
}

}  // namespace
