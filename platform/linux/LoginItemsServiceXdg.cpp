// Login items as the user's XDG autostart entries: writing, listing, resolving and removing them.
#include "platform/linux/LoginItemsServiceXdg.h"

#include "platform/linux/DesktopEntry.h"
#include "platform/linux/DesktopExecLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace uvccam::platform {

namespace {

Q_LOGGING_CATEGORY(lcSession, "uvccam.linux.session")

const QLatin1String kEntrySuffix(".desktop");
// Far more copies of one program than anyone keeps; past it the list refuses.
constexpr int kMostEntriesPerName = 1000;

QString displayName(const QString& filePath)
{
    const QFileInfo info(filePath);
    return info.completeBaseName().isEmpty() ? info.fileName() : info.completeBaseName();
}

// A desktop file ID holds ASCII letters, digits, '-', '_' and '.'; a leading '.' would
// hide the file.
QString entryBaseName(const QString& filePath)
{
    QString name;
    for (const QChar c : displayName(filePath)) {
        const bool allowed = (c.unicode() < 128 && c.isLetterOrNumber()) || c == QLatin1Char('-')
                             || c == QLatin1Char('_') || (c == QLatin1Char('.') && !name.isEmpty());
        name += allowed ? c : QLatin1Char('-');
    }
    return name.isEmpty() ? QStringLiteral("application") : name;
}

// The first name that no file and no dangling link of the user's holds.
QString freeEntryPath(const QString& directory, const QString& baseName)
{
    for (int n = 1; n <= kMostEntriesPerName; ++n) {
        const QString name = n == 1 ? baseName : QStringLiteral("%1-%2").arg(baseName).arg(n);
        const QFileInfo candidate(directory + QLatin1Char('/') + name + kEntrySuffix);
        if (!candidate.exists() && !candidate.isSymLink())
            return candidate.filePath();
    }
    return {};
}

bool writeEntry(const QString& path, const DesktopEntry& entry)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(entry.toText()) >= 0 && file.commit())
        return true;
    qCWarning(lcSession) << "cannot write the autostart entry" << path << ":" << file.errorString();
    return false;
}

bool systemEntryExists(const QString& fileName)
{
    const QStringList directories = LoginItemsServiceXdg::systemAutostartDirectories();
    return std::any_of(directories.begin(), directories.end(), [&](const QString& directory) {
        return QFileInfo::exists(directory + QLatin1Char('/') + fileName);
    });
}

}  // namespace

class LoginItemsServiceXdg::Entry : public LoginItem {
public:
    explicit Entry(QString path) : path_(std::move(path)) {}
    const QString& path() const { return path_; }

private:
    QString path_;
};

QString LoginItemsServiceXdg::userAutostartDirectory()
{
    // XDG base directories: a relative path in the variable is invalid and is passed over.
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + QLatin1String("/.config");
    return base + QLatin1String("/autostart");
}

QStringList LoginItemsServiceXdg::systemAutostartDirectories()
{
    QStringList directories;
    for (const QString& base : qEnvironmentVariable("XDG_CONFIG_DIRS").split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(base))
            directories << base + QLatin1String("/autostart");
    }
    if (directories.isEmpty())
        directories << QStringLiteral("/etc/xdg/autostart");
    return directories;
}

QString LoginItemsServiceXdg::applicationPath() const
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    return QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
}

LoginItemRef LoginItemsServiceXdg::insertItemLast(const QString& filePath, const QVariantMap& properties)
{
    Q_UNUSED(properties)
    if (filePath.isEmpty())
        return nullptr;
    const QString directory = userAutostartDirectory();
    if (!QDir().mkpath(directory)) {
        qCWarning(lcSession) << "cannot make the autostart directory" << directory;
        return nullptr;
    }
    const QString path = freeEntryPath(directory, entryBaseName(filePath));
    if (path.isEmpty())
        return nullptr;

    DesktopEntry entry;
    entry.setValue(QStringLiteral("Type"), QStringLiteral("Application"));
    entry.setValue(QStringLiteral("Name"), displayName(filePath));
    entry.setValue(QStringLiteral("Exec"), quoteExecArgument(filePath));
    // GNOME's session reads a missing key as enabled too; the key says so to its settings.
    entry.setValue(QStringLiteral("X-GNOME-Autostart-enabled"), QStringLiteral("true"));
    if (!writeEntry(path, entry))
        return nullptr;
    return std::make_shared<Entry>(path);
}

std::vector<LoginItemRef> LoginItemsServiceXdg::snapshot()
{
    const QDir directory(userAutostartDirectory());
    QStringList names = directory.entryList({QStringLiteral("*.desktop")}, QDir::Files, QDir::NoSort);
    std::sort(names.begin(), names.end());
    std::vector<LoginItemRef> items;
    for (const QString& name : names) {
        const QString path = directory.filePath(name);
        const std::optional<DesktopEntry> entry = DesktopEntry::fromFile(path);
        if (entry && entry->isHidden())
            continue;
        items.push_back(std::make_shared<Entry>(path));
    }
    return items;
}

LoginItemStatus LoginItemsServiceXdg::resolveItem(const LoginItemRef& item, QUrl& url)
{
    const auto known = std::dynamic_pointer_cast<Entry>(item);
    if (!known)
        return kLoginItemNotFound;
    const std::optional<DesktopEntry> entry = DesktopEntry::fromFile(known->path());
    if (!entry || entry->isHidden())
        return kLoginItemNotFound;
    const std::optional<QStringList> arguments = splitExecLine(entry->value(QStringLiteral("Exec")));
    if (!arguments || arguments->isEmpty())
        return kLoginItemNotFound;

    // A bare name is looked up in PATH, as the session does when it starts the entry.
    QString program = arguments->first();
    if (!program.contains(QLatin1Char('/')))
        program = QStandardPaths::findExecutable(program);
    if (!QDir::isAbsolutePath(program) || !QFileInfo::exists(program))
        return kLoginItemNotFound;
    url = QUrl::fromLocalFile(program);
    return kLoginItemSuccess;
}

LoginItemStatus LoginItemsServiceXdg::removeItem(const LoginItemRef& item)
{
    const auto known = std::dynamic_pointer_cast<Entry>(item);
    if (!known || !QFileInfo::exists(known->path()))
        return kLoginItemNotFound;
    const std::optional<DesktopEntry> entry = DesktopEntry::fromFile(known->path());
    if (entry && entry->isHidden())
        return kLoginItemNotFound;

    const QFileInfo file(known->path());
    if (systemEntryExists(file.fileName())) {
        DesktopEntry hidden;
        hidden.setValue(QStringLiteral("Type"), QStringLiteral("Application"));
        const QString name = entry ? entry->value(QStringLiteral("Name")) : QString();
        hidden.setValue(QStringLiteral("Name"), name.isEmpty() ? file.completeBaseName() : name);
        hidden.setValue(QStringLiteral("Hidden"), QStringLiteral("true"));
        return writeEntry(file.filePath(), hidden) ? kLoginItemSuccess : kLoginItemNotWritable;
    }
    QFile removed(file.filePath());
    if (removed.remove())
        return kLoginItemSuccess;
    qCWarning(lcSession) << "cannot delete the autostart entry" << file.filePath() << ":" << removed.errorString();
    return kLoginItemNotWritable;
}

}  // namespace uvccam::platform
