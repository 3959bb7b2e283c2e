// The user's login items as XDG autostart entries: one desktop entry file per item.
#pragma once

#include "platform/LoginItemsService.h"

#include <QStringList>

namespace uvccam::platform {

// The items are the desktop entries in $XDG_CONFIG_HOME/autostart (~/.config/autostart when
// that is unset), ordered by file name; the desktop session starts each one at login. An
// item points to its Exec key's program. The session also starts the entries in each
// $XDG_CONFIG_DIRS/autostart (/etc/xdg/autostart), unless the user's directory holds one of
// the same name, which replaces it; an entry with Hidden=true replaces it with nothing.
// Those system entries are not the user's items and are not listed.
//
// The directories are looked up at each call. Files are written whole or not at all
// (QSaveFile), so a session starting meanwhile never reads half an entry. Call it from one
// thread at a time.
class LoginItemsServiceXdg : public LoginItemsService {
public:
    // The running executable (QCoreApplication's, or /proc/self/exe without one).
    QString applicationPath() const override;

    // Writes a new file, <name>.desktop, <name>-2.desktop ..., after the program's file name:
    // an entry of type Application starting the program with no arguments. The
    // "com.apple.loginitem.HideOnLaunch" property has no counterpart here and is passed over:
    // the program starts as it would from a terminal.
    LoginItemRef insertItemLast(const QString& filePath, const QVariantMap& properties) override;
    // The user's entries, Hidden ones left out.
    std::vector<LoginItemRef> snapshot() override;
    // The program's file URL; kLoginItemNotFound when the entry is gone or hidden, has no
    // program, or its program does not exist (any more).
    LoginItemStatus resolveItem(const LoginItemRef& item, QUrl& url) override;
    // Deletes the entry's file, or, where a system entry of the same name exists, turns the
    // file into a Hidden one, so that the system's entry does not start instead.
    LoginItemStatus removeItem(const LoginItemRef& item) override;

    static QString userAutostartDirectory();
    static QStringList systemAutostartDirectories();

private:
    class Entry;
};

}  // namespace uvccam::platform
