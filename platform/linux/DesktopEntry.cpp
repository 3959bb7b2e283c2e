// Reading and writing the [Desktop Entry] group of a desktop entry file.
#include "platform/linux/DesktopEntry.h"

#include <QFile>

#include <algorithm>

namespace uvccam::platform {

namespace {

const QLatin1String kGroup("[Desktop Entry]");

QString escaped(const QString& value)
{
    QString text;
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == QLatin1Char('\\'))
            text += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            text += QLatin1String("\\n");
        else if (c == QLatin1Char('\t'))
            text += QLatin1String("\\t");
        else if (c == QLatin1Char('\r'))
            text += QLatin1String("\\r");
        else if (c == QLatin1Char(' ') && (i == 0 || i == value.size() - 1))
            text += QLatin1String("\\s");  // readers drop the spaces around a value
        else
            text += c;
    }
    return text;
}

// A backslash before any other character stays, with that character: the Exec key's own
// quoting uses \" \` \$ and \\, which careless writers put in without doubling.
QString unescaped(const QString& text)
{
    QString value;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('\\') || i + 1 == text.size()) {
            value += text[i];
            continue;
        }
        switch (text[i + 1].unicode()) {
        case 's': value += QLatin1Char(' '); break;
        case 'n': value += QLatin1Char('\n'); break;
        case 't': value += QLatin1Char('\t'); break;
        case 'r': value += QLatin1Char('\r'); break;
        case '\\': value += QLatin1Char('\\'); break;
        default: value += text[i]; value += text[i + 1]; break;
        }
        ++i;
    }
    return value;
}

}  // namespace

std::optional<DesktopEntry> DesktopEntry::fromText(const QByteArray& text)
{
    std::optional<DesktopEntry> entry;
    bool inGroup = false;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == kGroup;
            if (inGroup && !entry)
                entry.emplace();
            continue;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        if (!inGroup || equals <= 0)
            continue;
        entry->setValue(line.left(equals).trimmed(), unescaped(line.mid(equals + 1).trimmed()));
    }
    return entry;
}

std::optional<DesktopEntry> DesktopEntry::fromFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return fromText(file.readAll());
}

bool DesktopEntry::contains(const QString& key) const
{
    return std::any_of(keys_.begin(), keys_.end(), [&](const auto& pair) { return pair.first == key; });
}

QString DesktopEntry::value(const QString& key) const
{
    for (const auto& [name, value] : keys_) {
        if (name == key)
            return value;
    }
    return {};
}

void DesktopEntry::setValue(const QString& key, const QString& value)
{
    for (auto& pair : keys_) {
        if (pair.first == key) {
            pair.second = value;
            return;
        }
    }
    keys_.emplace_back(key, value);
}

QByteArray DesktopEntry::toText() const
{
    QString text = kGroup + QLatin1Char('\n');
    for (const auto& [key, value] : keys_)
        text += key + QLatin1Char('=') + escaped(value) + QLatin1Char('\n');
    return text.toUtf8();
}

}  // namespace uvccam::platform
