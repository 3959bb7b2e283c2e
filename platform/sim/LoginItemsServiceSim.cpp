// The simulated login-items list: insertion at the end, snapshots, resolution and removal.
#include "platform/sim/LoginItemsServiceSim.h"

#include <algorithm>

namespace uvccam::platform {

class LoginItemsServiceSim::Item : public LoginItem {
public:
    Item(QUrl url, bool resolvable, QVariantMap properties)
        : url_(std::move(url)), resolvable_(resolvable), properties_(std::move(properties))
    {
    }

    const QUrl& url() const { return url_; }
    bool resolvable() const { return resolvable_; }
    const QVariantMap& properties() const { return properties_; }

private:
    QUrl url_;
    bool resolvable_;
    QVariantMap properties_;
};

QString LoginItemsServiceSim::applicationPath() const
{
    return QStringLiteral("/Applications/Vantora.app");
}

std::shared_ptr<LoginItemsServiceSim::Item> LoginItemsServiceSim::itemOf(const LoginItemRef& item) const
{
    return std::dynamic_pointer_cast<Item>(item);
}

LoginItemRef LoginItemsServiceSim::insertItemLast(const QString& filePath, const QVariantMap& properties)
{
    insertions_.push_back({filePath, properties, !refuseInsertions_});
    if (refuseInsertions_)
        return nullptr;
    return addItem(QUrl::fromLocalFile(filePath), true, properties);
}

std::vector<LoginItemRef> LoginItemsServiceSim::snapshot()
{
    return {items_.begin(), items_.end()};
}

LoginItemStatus LoginItemsServiceSim::resolveItem(const LoginItemRef& item, QUrl& url)
{
    // An item taken from an earlier snapshot still resolves after its removal: the
    // caller's reference keeps it.
    const auto known = itemOf(item);
    if (!known || !known->resolvable())
        return kLoginItemNotFound;
    url = known->url();
    return kLoginItemSuccess;
}

LoginItemStatus LoginItemsServiceSim::removeItem(const LoginItemRef& item)
{
    const auto known = itemOf(item);
    const auto it = std::find(items_.begin(), items_.end(), known);
    const LoginItemStatus status = (known && it != items_.end()) ? kLoginItemSuccess : kLoginItemNotFound;
    removals_.push_back({known ? known->url() : QUrl(), status});
    if (status == kLoginItemSuccess)
        items_.erase(it);
    return status;
}

LoginItemRef LoginItemsServiceSim::addItem(const QUrl& url, bool resolvable, const QVariantMap& properties)
{
    items_.push_back(std::make_shared<Item>(url, resolvable, properties));
    return items_.back();
}

QList<QUrl> LoginItemsServiceSim::urls() const
{
    QList<QUrl> result;
    for (const auto& item : items_)
        result.append(item->url());
    return result;
}

QVariantMap LoginItemsServiceSim::properties(int index) const
{
    if (index < 0 || std::size_t(index) >= items_.size())
        return {};
    return items_[std::size_t(index)]->properties();
}

}  // namespace uvccam::platform
