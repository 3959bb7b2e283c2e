// The user's session login items: the applications started when the user logs in.
#pragma once

#include <QUrl>
#include <QVariantMap>

#include <cstdint>
#include <memory>
#include <vector>

namespace uvccam::platform {

// One entry of the list, opaque to the library; a backend derives its own (a desktop
// session's autostart entry, say) and knows it again when it is handed back.
class LoginItem {
public:
    virtual ~LoginItem() = default;
};
// None where an operation yields no item. Dropping the last reference releases the item.
using LoginItemRef = std::shared_ptr<LoginItem>;

// 0 for success, otherwise the list's refusal.
using LoginItemStatus = std::int32_t;
constexpr LoginItemStatus kLoginItemSuccess = 0;
// The item no longer points to anything that can be found (its target was moved or
// deleted), or it is not in the list any more.
constexpr LoginItemStatus kLoginItemNotFound = -43;
// The list is kept where it cannot be changed now (a file the user may not write, say).
constexpr LoginItemStatus kLoginItemNotWritable = -61;

class LoginItemsService {
public:
    virtual ~LoginItemsService() = default;

    // Where the running application is, as this session's login items name it: what an
    // item must point to in order to start this application at login.
    virtual QString applicationPath() const = 0;

    // Adds an item for the file at `filePath` at the end of the list, with properties such
    // as "com.apple.loginitem.HideOnLaunch" (a bool). The list may hold several items for
    // one file. Returns the new item, or none when the list refuses.
    virtual LoginItemRef insertItemLast(const QString& filePath, const QVariantMap& properties) = 0;

    // The items now in the list, in order. Later changes to the list do not change it.
    virtual std::vector<LoginItemRef> snapshot() = 0;

    // Finds what an item points to: 0 and its file URL, or a refusal with `url` untouched.
    virtual LoginItemStatus resolveItem(const LoginItemRef& item, QUrl& url) = 0;

    // Takes an item out of the list.
    virtual LoginItemStatus removeItem(const LoginItemRef& item) = 0;
};

}  // namespace uvccam::platform
