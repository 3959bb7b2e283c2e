// Login items as XDG autostart entries, in configuration directories of the test's own: the
// entries as desktop-file-validate and GLib read them, quoting, system entries, and the
// library's login item on the Linux platform.
#define QT_NO_KEYWORDS
#include "platform/linux/LoginItemsServiceXdg.h"

#include "mac/MacAppServiceOC.h"
#include "platform/linux/PlatformLinux.h"
#include "support/EmulatedUsb.h"
#include "support/LibraryProcessState.h"
#include "support/QtPrinters.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <glib.h>
#include <gtest/gtest.h>

using namespace uvccam::platform;

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) == text.size()) << qPrintable(path);
}

// desktop-file-validate's complaints; empty for a valid entry.
QString validationErrors(const QString& path)
{
    QProcess validator;
    validator.setProcessChannelMode(QProcess::MergedChannels);
    validator.start(QStringLiteral("desktop-file-validate"), {path});
    if (!validator.waitForFinished(10000))
        return QStringLiteral("desktop-file-validate did not run: ") + validator.errorString();
    return validator.exitCode() == 0 ? QString() : QString::fromUtf8(validator.readAll());
}

// The command as a GLib session starts it: the key file's string, %% made %, split as the
// shell would. Empty when it does not read.
QStringList commandAsGLibReadsIt(const QString& path)
{
    QStringList command;
    GKeyFile* file = g_key_file_new();
    gchar* exec = nullptr;
    gchar** argv = nullptr;
    if (g_key_file_load_from_file(file, QFile::encodeName(path).constData(), G_KEY_FILE_NONE, nullptr)
        && (exec = g_key_file_get_string(file, "Desktop Entry", "Exec", nullptr))
        && g_shell_parse_argv(QString::fromUtf8(exec).replace("%%", "%").toUtf8(), nullptr, &argv, nullptr)) {
        for (gchar** argument = argv; *argument; ++argument)
            command << QString::fromUtf8(*argument);
    }
    g_strfreev(argv);
    g_free(exec);
    g_key_file_free(file);
    return command;
}

class XdgAutostart : public ::testing::Test {
protected:
    // A second system directory, empty, comes first.
    XdgAutostart()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.filePath("config")));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(root.filePath("vendor") + ':' + root.filePath("system")));
    }
    ~XdgAutostart() override
    {
        for (const auto& [name, value] : {std::pair{"XDG_CONFIG_HOME", home_}, std::pair{"XDG_CONFIG_DIRS", dirs_}})
            value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }

    QString userEntry(const QString& name) const { return root.filePath("config/autostart/" + name); }
    QString systemEntry(const QString& name) const { return root.filePath("system/autostart/" + name); }
    QStringList entryFiles() const { return QDir(userEntry({})).entryList(QDir::Files, QDir::Name); }

    // An executable at `relative` in the test's directory.
    QString program(const QString& relative)
    {
        const QString path = root.filePath(relative);
        write(path, "#!/bin/sh\n");
        QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);
        return path;
    }

    // The file each item of a snapshot resolves to, "unresolved" where none.
    QStringList resolvedSnapshot()
    {
        QStringList files;
        for (const LoginItemRef& item : service.snapshot()) {
            QUrl url;
            files << (service.resolveItem(item, url) == kLoginItemSuccess ? url.toLocalFile() : "unresolved");
        }
        return files;
    }

    const QByteArray home_ = qgetenv("XDG_CONFIG_HOME"), dirs_ = qgetenv("XDG_CONFIG_DIRS");
    QTemporaryDir root;
    LoginItemsServiceXdg service;
};

TEST_F(XdgAutostart, EachInsertionWritesANewValidEntryThatStartsTheProgram)
{
    const QString host = program("bin/uvccam-host");
    const QVariantMap shown{{"com.apple.loginitem.HideOnLaunch", false}};
    ASSERT_TRUE(service.insertItemLast(host, shown));
    ASSERT_TRUE(service.insertItemLast(host, shown));

    EXPECT_EQ(entryFiles(), (QStringList{"uvccam-host-2.desktop", "uvccam-host.desktop"}));
    for (const QString& name : entryFiles()) {
        EXPECT_EQ(validationErrors(userEntry(name)), QString()) << qPrintable(name);
        EXPECT_EQ(commandAsGLibReadsIt(userEntry(name)), QStringList{host}) << qPrintable(name);
    }
    EXPECT_EQ(resolvedSnapshot(), (QStringList{host, host}));
}

TEST_F(XdgAutostart, PathsWithReservedCharactersAreQuotedSoThatTheSessionAndTheListFindThem)
{
    for (const char* relative : {"My Apps/uvccam host", "cash$flow/\"quoted\" app", "back\\slash/x\\\\y", "100%/full%%",
                                 "tab\there/`tick` & ;(x)", "'single'/~a*b?#c|d<e>f"}) {
        const QString path = program(QString::fromUtf8(relative));
        const LoginItemRef item = service.insertItemLast(path, {});
        ASSERT_TRUE(item) << relative;
        ASSERT_EQ(entryFiles().size(), 1) << relative;
        const QString file = userEntry(entryFiles().constFirst());
        EXPECT_EQ(validationErrors(file), QString()) << relative;
        EXPECT_EQ(commandAsGLibReadsIt(file), QStringList{path}) << relative;
        QUrl url;
        EXPECT_EQ(service.resolveItem(item, url), kLoginItemSuccess) << relative;
        EXPECT_EQ(url.toLocalFile(), path) << relative;
        QFile::remove(file);
    }
}

TEST_F(XdgAutostart, AnEntryResolvesAsNotFoundOnceItsProgramOrTheEntryIsGone)
{
    const QString host = program("bin/uvccam-host");
    const LoginItemRef programGone = service.insertItemLast(host, {});
    QFile::remove(host);
    QUrl url;
    EXPECT_EQ(service.resolveItem(programGone, url), kLoginItemNotFound);

    const LoginItemRef entryGone = service.insertItemLast(program("bin/other"), {});
    ASSERT_EQ(service.removeItem(entryGone), kLoginItemSuccess);
    EXPECT_EQ(service.resolveItem(entryGone, url), kLoginItemNotFound);
    EXPECT_EQ(service.removeItem(entryGone), kLoginItemNotFound);
}

TEST_F(XdgAutostart, RemovingHidesASystemEntryOfTheSameNameAndOtherwiseDeletesTheFile)
{
    const QByteArray systemText = "[Desktop Entry]\nType=Application\nName=Host\nExec=/usr/bin/uvccam-host\n";
    write(systemEntry("uvccam-host.desktop"), systemText);
    const QString host = program("bin/uvccam-host");
    const LoginItemRef overridesSystem = service.insertItemLast(host, {});
    const LoginItemRef ownName = service.insertItemLast(host, {});

    EXPECT_EQ(service.removeItem(overridesSystem), kLoginItemSuccess);
    EXPECT_EQ(service.removeItem(ownName), kLoginItemSuccess);
    EXPECT_EQ(entryFiles(), QStringList{"uvccam-host.desktop"});
    EXPECT_EQ(validationErrors(userEntry("uvccam-host.desktop")), QString());
    EXPECT_TRUE(contents(userEntry("uvccam-host.desktop")).contains("\nHidden=true\n"));
    EXPECT_EQ(contents(systemEntry("uvccam-host.desktop")), systemText);
    EXPECT_TRUE(service.snapshot().empty()) << "the hidden entry is no item of the user's";
}

// The library's login item on the platform a host gets on Linux.
class LaunchOnLoginLinux : public XdgAutostart {
protected:
    LaunchOnLoginLinux()
    {
        uvccam::testing::discardLibraryProcessState();
        Platform::install(PlatformLinux::create());
    }
    ~LaunchOnLoginLinux() override
    {
        uvccam::testing::discardLibraryProcessState();
        Platform::install(nullptr);
    }

    uvccam::testing::EmulatedUsb usb;
    MacAppServiceOC application;
};

TEST_F(LaunchOnLoginLinux, OnAddsAnEntryOfTheRunningExecutableEachTimeAndOffRemovesOnlyThose)
{
    const QByteArray other = "[Desktop Entry]\nType=Application\nName=O\nExec=" + program("bin/other").toUtf8() + "\n";
    const QByteArray hidden = "[Desktop Entry]\nType=Application\nName=Gone\nHidden=true\nExec=/bin/sh\n";
    write(userEntry("other.desktop"), other);
    write(userEntry("gone.desktop"), hidden);

    application.setLaunchOnLogin(true);
    application.setLaunchOnLogin(true);
    EXPECT_EQ(entryFiles().size(), 4);
    EXPECT_EQ(resolvedSnapshot().count(QCoreApplication::applicationFilePath()), 2);

    application.setLaunchOnLogin(false);
    EXPECT_EQ(entryFiles(), (QStringList{"gone.desktop", "other.desktop"}));
    EXPECT_EQ(contents(userEntry("other.desktop")), other);
    EXPECT_EQ(contents(userEntry("gone.desktop")), hidden);
}

}  // namespace
