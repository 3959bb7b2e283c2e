// A desktop entry file's [Desktop Entry] group: its keys and values, with the format's string escapes.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace uvccam::platform {

// Values are held as they read, the escapes \s \n \t \r and \\ undone, and written with
// them again. Other groups, comments and localized keys of a file read are not kept: an
// entry is read to look at it, and the entries written are whole ones of our own.
class DesktopEntry {
public:
    DesktopEntry() = default;

    // None when the text has no [Desktop Entry] group.
    static std::optional<DesktopEntry> fromText(const QByteArray& text);
    // None as well when the file cannot be read.
    static std::optional<DesktopEntry> fromFile(const QString& path);

    bool contains(const QString& key) const;
    QString value(const QString& key) const;
    // Replaces the key's value, or adds the key last.
    void setValue(const QString& key, const QString& value);

    // Hidden=true: the user deleted the entry, and one of the same name in a system
    // directory is to be passed over too.
    bool isHidden() const { return value(QStringLiteral("Hidden")) == QLatin1String("true"); }

    QByteArray toText() const;

private:
    std::vector<std::pair<QString, QString>> keys_;
};

}  // namespace uvccam::platform
