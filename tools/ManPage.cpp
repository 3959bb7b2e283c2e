// Writing the manual page: the help's text escaped for roff and laid out with the man macros.
#include "ManPage.h"

#include <QStringList>

namespace uvccamctl {

namespace {

// Text as roff reads it literally. A backslash is roff's escape character; a plain "-" may
// be typeset as a hyphen, which breaks an option copied from the page, so every one is
// the minus sign "\-"; a line starting with "." or "'" would be read as a request.
QString roffText(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size() + text.size() / 8);
    for (const QChar character : text) {
        if (character == QLatin1Char('\\'))
            escaped += QLatin1String("\\e");
        else if (character == QLatin1Char('-'))
            escaped += QLatin1String("\\-");
        else
            escaped += character;
    }
    if (escaped.startsWith(QLatin1Char('.')) || escaped.startsWith(QLatin1Char('\'')))
        escaped.prepend(QLatin1String("\\&"));
    return escaped;
}

class RoffWriter {
public:
    void request(const QString& macro, const QString& argument = QString())
    {
        lines_ << (argument.isEmpty() ? macro : macro + QLatin1Char(' ') + argument);
    }
    void text(const QString& line) { lines_ << roffText(line); }

    // Help text as the help prints it: lines that start at the margin are filled into
    // paragraphs; indented lines (option lists, examples) keep their layout; an empty
    // line separates paragraphs.
    void helpText(const QString& help)
    {
        bool verbatim = false;
        bool paragraphOpen = false;
        for (const QString& line : help.split(QLatin1Char('\n'))) {
            const bool indented = line.startsWith(QLatin1Char(' '));
            if (line.trimmed().isEmpty()) {
                endVerbatim(verbatim);
                paragraphOpen = false;
                continue;
            }
            if (indented && !verbatim) {
                request(QStringLiteral(".nf"));
                verbatim = true;
            } else if (!indented) {
                endVerbatim(verbatim);
                // A margin line after an indented block begins a paragraph of its own.
                if (!paragraphOpen)
                    request(QStringLiteral(".PP"));
                paragraphOpen = true;
            }
            text(line);
            if (indented)
                paragraphOpen = false;
        }
        endVerbatim(verbatim);
    }

    // A term and its explanation, the explanation refilled.
    void taggedParagraph(const QString& term, const QString& explanation)
    {
        request(QStringLiteral(".TP"));
        request(QStringLiteral(".B"), roffText(term));
        text(QString(explanation).replace(QLatin1Char('\n'), QLatin1Char(' ')));
    }

    QString page() const { return lines_.join(QLatin1Char('\n')) + QLatin1Char('\n'); }

private:
    void endVerbatim(bool& verbatim)
    {
        if (!verbatim)
            return;
        request(QStringLiteral(".fi"));
        verbatim = false;
    }

    QStringList lines_;
};

}  // namespace

QString manPage(const ToolHelp& help, const std::vector<Command>& commands, const QString& version)
{
    RoffWriter roff;
    // No date: the page is rebuilt with the tool and must come out the same each time.
    roff.request(QStringLiteral(".TH"), QStringLiteral("UVCCAMCTL 1 \"\" \"libuvccam %1\" \"User Commands\"").arg(version));

    roff.request(QStringLiteral(".SH"), QStringLiteral("NAME"));
    roff.text(QStringLiteral("uvccamctl - %1").arg(QString::fromUtf8(help.summary)));

    roff.request(QStringLiteral(".SH"), QStringLiteral("SYNOPSIS"));
    for (std::size_t i = 0; i < help.usages.size(); ++i) {
        if (i > 0)
            roff.request(QStringLiteral(".br"));
        roff.request(QStringLiteral(".B"), QStringLiteral("uvccamctl"));
        roff.text(QString::fromUtf8(help.usages[i].term));
    }

    roff.request(QStringLiteral(".SH"), QStringLiteral("DESCRIPTION"));
    roff.text(QStringLiteral("uvccamctl: %1.").arg(QString::fromUtf8(help.summary)));
    for (const HelpEntry& usage : help.usages) {
        if (*usage.text)
            roff.text(QStringLiteral("\"uvccamctl %1\" (%2).").arg(QString::fromUtf8(usage.term), QString::fromUtf8(usage.text)));
    }

    roff.request(QStringLiteral(".SH"), QStringLiteral("OPTIONS"));
    roff.text(QStringLiteral("Global options: %1.").arg(QString::fromUtf8(help.globalOptionsNote)));
    for (const HelpEntry& option : help.globalOptions)
        roff.taggedParagraph(QString::fromUtf8(option.term), QString::fromUtf8(option.text));

    roff.request(QStringLiteral(".SH"), QStringLiteral("COMMANDS"));
    for (const Command& command : commands) {
        const QString synopsis = QString::fromUtf8(command.synopsis);
        roff.request(QStringLiteral(".SS"));
        roff.text(synopsis.isEmpty() ? QString::fromUtf8(command.name)
                                     : QStringLiteral("%1 %2").arg(QString::fromUtf8(command.name), synopsis));
        roff.helpText(QString::fromUtf8(command.details));
        if (command.offersJson) {
            roff.request(QStringLiteral(".PP"));
            roff.text(QStringLiteral("--json prints the result as JSON."));
        }
    }

    roff.request(QStringLiteral(".SH"), QStringLiteral("EXIT STATUS"));
    for (const HelpEntry& status : help.exitStatuses)
        roff.taggedParagraph(QString::fromUtf8(status.term), QString::fromUtf8(status.text));

    roff.request(QStringLiteral(".SH"), QStringLiteral("EXAMPLES"));
    roff.request(QStringLiteral(".nf"));
    for (const char* example : help.examples)
        roff.text(QString::fromUtf8(example));
    roff.request(QStringLiteral(".fi"));
    return roff.page();
}

}  // namespace uvccamctl
