// The ordered prefix table that turns a camera's product name into its model name.
#include "mac/ModelTable.h"

#include <array>

namespace {

struct ModelEntry {
    const char* productNamePrefix;
    const char* modelName;
};

// Order matters: the first prefix that matches wins.
constexpr std::array<ModelEntry, 7> kModels{{
    {"RX710", "RX710"},
    {"LUM610", "LUM610"},
    {"RX240", "RX240"},
    {"LUM630", "LUM630"},
    {"LUM250", "LUM250"},
    {"Corvane ST410", "ST410"},
    {"Studio Caster LUM 470", "ST470"},
}};

// The "+" edition of the RX710 shares the plain model's prefix and is told apart after it.
constexpr const char* kRx710PlusPrefix = "RX710+";

}  // namespace

const QString& ModelTable::makerVendorHex()
{
    static const QString hex = QStringLiteral("2a3b");
    return hex;
}

const QString& ModelTable::speakerphoneModelName()
{
    static const QString name = QStringLiteral("VOXA760");
    return name;
}

QString ModelTable::modelNameForProductName(const QString& productName)
{
    for (const auto& entry : kModels) {
        if (!productName.startsWith(QLatin1String(entry.productNamePrefix), Qt::CaseSensitive))
            continue;
        QString model = QLatin1String(entry.modelName);
        if (model == QLatin1String("RX710") && productName.startsWith(QLatin1String(kRx710PlusPrefix), Qt::CaseSensitive))
            model = QLatin1String(kRx710PlusPrefix);
        return model;
    }
    return QString();
}
