// The manual page written at build time: what --help lists, in the sections man readers
// expect, escaped so that roff reads the help's text as text.
#include "ProgramRun.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

QString manPage()
{
    QFile file(QStringLiteral(UVCCAMCTL_MAN_PAGE));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << UVCCAMCTL_MAN_PAGE;
    return QString::fromUtf8(file.readAll());
}

// The overview's lines under `heading` up to the next empty line.
QStringList helpSection(const QString& heading)
{
    const QStringList lines = runProgram(QStringLiteral(UVCCAMCTL_PATH), {QStringLiteral("--help")}).out.split(QLatin1Char('\n'));
    const int start = lines.indexOf(QRegularExpression(QStringLiteral("^%1.*:$").arg(heading)));
    EXPECT_GE(start, 0) << heading.toStdString();
    QStringList section;
    for (int i = start + 1; i < lines.size() && !lines[i].isEmpty(); ++i)
        section << lines[i];
    return section;
}

// The first word of each entry of a help section ("  list           the attached ...").
QStringList helpTerms(const QString& heading)
{
    QStringList terms;
    for (const QString& line : helpSection(heading)) {
        const QRegularExpressionMatch term = QRegularExpression(QStringLiteral("^  (\\S+)")).match(line);
        if (term.hasMatch())
            terms << term.captured(1);
    }
    return terms;
}

// The text line that follows each `request` line, with roff's minus read back as "-".
QStringList linesAfter(const QStringList& page, const QString& request)
{
    QStringList found;
    for (int i = 0; i + 1 < page.size(); ++i) {
        if (page[i] == request)
            found << QString(page[i + 1]).replace(QLatin1String("\\-"), QLatin1String("-"));
    }
    return found;
}

TEST(UvccamctlManPage, ListsEveryCommandAndOptionOfTheHelpInTheManSections)
{
    const QStringList page = manPage().split(QLatin1Char('\n'));

    QStringList commands;
    for (const QString& heading : linesAfter(page, QStringLiteral(".SS")))
        commands << heading.section(QLatin1Char(' '), 0, 0);
    EXPECT_EQ(commands, helpTerms(QStringLiteral("Commands")));

    QStringList options;
    for (const QString& line : page.filter(QRegularExpression(QStringLiteral("^\\.B \\\\-"))))
        options << QString(line.mid(3)).replace(QLatin1String("\\-"), QLatin1String("-")).section(QLatin1Char(' '), 0, 0);
    EXPECT_EQ(options, helpTerms(QStringLiteral("Global options")));

    QStringList statuses;
    for (const QString& line : page.filter(QRegularExpression(QStringLiteral("^\\.B \\d$"))))
        statuses << line.mid(3);
    EXPECT_EQ(statuses, helpTerms(QStringLiteral("Exit status")));

    const QStringList sections = page.filter(QRegularExpression(QStringLiteral("^\\.SH ")));
    EXPECT_EQ(sections, (QStringList{".SH NAME", ".SH SYNOPSIS", ".SH DESCRIPTION", ".SH OPTIONS", ".SH COMMANDS",
                                     ".SH EXIT STATUS", ".SH EXAMPLES"}));
    EXPECT_TRUE(page.contains(QStringLiteral("uvccamctl \\- try the maker's cameras and speakerphones from the command line")));
}

// Help text is full of option names and the odd line that starts with a period; roff must
// see none of it as a request, and every "-" must stay a minus that can be copied.
TEST(UvccamctlManPage, EscapesTheHelpTextForRoff)
{
    static const QStringList kRequests{".TH", ".SH", ".SS", ".PP", ".TP", ".B", ".nf", ".fi", ".br"};
    for (const QString& line : manPage().split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QString text = line;
        if (line.startsWith(QLatin1Char('.')) || line.startsWith(QLatin1Char('\''))) {
            const QString request = line.section(QLatin1Char(' '), 0, 0);
            EXPECT_TRUE(kRequests.contains(request)) << line.toStdString();
            text = line.section(QLatin1Char(' '), 1);
        }
        EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("(^|[^\\\\])-")))) << line.toStdString();
        EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("\\\\[^-e&]")))) << line.toStdString();
    }
}

TEST(UvccamctlManPage, RendersWithoutWarnings)
{
    if (runProgram(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("command -v groff")}).status != 0)
        GTEST_SKIP() << "groff is not installed (scripts/bootstrap.sh installs groff-base)";
    const ProgramRun groff = runProgram(QStringLiteral("groff"), {QStringLiteral("-man"), QStringLiteral("-Tutf8"), QStringLiteral("-ww"),
                                                                  QStringLiteral(UVCCAMCTL_MAN_PAGE)});
    EXPECT_EQ(groff.status, 0);
    EXPECT_EQ(groff.err, QString());
    EXPECT_TRUE(groff.out.startsWith(QStringLiteral("UVCCAMCTL(1)"))) << groff.out.toStdString();
}

}  // namespace
