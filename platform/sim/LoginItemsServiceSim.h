// The simulated login-items list: items in memory, every insertion and removal recorded.
#pragma once

#include "platform/LoginItemsService.h"

#include <QList>

#include <vector>

namespace uvccam::platform {

// Starts empty. Items that tests put in beforehand stand for the user's other login
// items; an unresolvable one stands for an item whose target was moved or deleted.
class LoginItemsServiceSim : public LoginItemsService {
public:
    struct Insertion {
        QString filePath;
        QVariantMap properties;
        bool accepted;
    };
    struct Removal {
        QUrl url;  // what the item points to, resolvable or not
        LoginItemStatus status;
    };

    // The application bundle's fixed place, "/Applications/Vantora.app".
    QString applicationPath() const override;
    LoginItemRef insertItemLast(const QString& filePath, const QVariantMap& properties) override;
    std::vector<LoginItemRef> snapshot() override;
    LoginItemStatus resolveItem(const LoginItemRef& item, QUrl& url) override;
    LoginItemStatus removeItem(const LoginItemRef& item) override;

    // Knobs.
    LoginItemRef addItem(const QUrl& url, bool resolvable = true, const QVariantMap& properties = {});
    // The list refuses insertions: insertItemLast() adds nothing and gives none.
    void refuseInsertions(bool refuse = true) { refuseInsertions_ = refuse; }

    // What the list holds now, in order.
    QList<QUrl> urls() const;
    QVariantMap properties(int index) const;
    const std::vector<Insertion>& insertions() const { return insertions_; }
    const std::vector<Removal>& removals() const { return removals_; }

private:
    class Item;
    std::shared_ptr<Item> itemOf(const LoginItemRef& item) const;

    std::vector<std::shared_ptr<Item>> items_;
    std::vector<Insertion> insertions_;
    std::vector<Removal> removals_;
    bool refuseInsertions_ = false;
};

}  // namespace uvccam::platform
