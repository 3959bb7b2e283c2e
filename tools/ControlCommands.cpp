// get, set and range: the camera's standard controls by name or property number.
#include "Commands.h"
#include "ControlNames.h"

#include <QJsonArray>
#include <QJsonObject>

#include <limits>

namespace uvccamctl {

namespace {

struct Range {
    int minimum = 0;
    int maximum = 0;
    int defaultValue = 0;
};

// The controls a command works on: one, or every one for "all".
std::optional<QList<ControlName>> takeControls(Arguments& arguments, bool rangesOnly)
{
    const std::optional<QString> word = arguments.takeWord(QStringLiteral("PROPERTY (a name, a number or all)"));
    if (!word)
        return std::nullopt;
    QList<ControlName> controls;
    if (word->compare(QLatin1String("all"), Qt::CaseInsensitive) == 0) {
        for (const ControlName& control : controlNames()) {
            if (!rangesOnly || controlHasRange(control.number))
                controls << control;
        }
        return controls;
    }
    const std::optional<ControlName> control = findControl(*word);
    if (!control) {
        arguments.fail(QStringLiteral("unknown property '%1' (one of %2, or 0 to 13)")
                           .arg(*word, controlNameList().join(QStringLiteral(", "))));
        return std::nullopt;
    }
    if (rangesOnly && !controlHasRange(control->number)) {
        arguments.fail(QStringLiteral("%1 has no range (ranges cover properties 0 to 12)").arg(QLatin1String(control->name)));
        return std::nullopt;
    }
    return QList<ControlName>{*control};
}

std::optional<int> readControl(UVCCam& camera, int number)
{
    int value = 0;
    if (camera.getProperty(number, &value) != 0)
        return std::nullopt;
    return value;
}

std::optional<Range> readRange(UVCCam& camera, int number)
{
    Range range;
    if (camera.getPropertyRange(number, &range.minimum, &range.maximum, &range.defaultValue) != 0)
        return std::nullopt;
    return range;
}

// The value a switch takes: on/off, true/false or 1/0; an integer for every other control.
std::optional<int> takeValue(Arguments& arguments, const ControlName& control)
{
    const std::optional<QString> word = arguments.takeWord(QStringLiteral("VALUE"));
    if (!word)
        return std::nullopt;
    if (control.isSwitch) {
        const QString text = word->toLower();
        if (text == QLatin1String("on") || text == QLatin1String("true") || text == QLatin1String("1"))
            return 1;
        if (text == QLatin1String("off") || text == QLatin1String("false") || text == QLatin1String("0"))
            return 0;
        arguments.fail(QStringLiteral("VALUE '%1' for %2 must be on or off").arg(*word, QLatin1String(control.name)));
        return std::nullopt;
    }
    const std::optional<qint64> value = parseInteger(*word);
    if (!value || *value < std::numeric_limits<int>::min() || *value > std::numeric_limits<int>::max()) {
        arguments.fail(QStringLiteral("VALUE '%1' is not a whole number").arg(*word));
        return std::nullopt;
    }
    return static_cast<int>(*value);
}

// The camera reports ranges from the maker's own range table, which for some property
// numbers describes a neighbouring control. A range that does not hold the control's
// current value is not this control's, so it cannot be used to refuse a value; the camera
// then judges the value itself.
std::optional<Range> trustedRange(UVCCam& camera, const ControlName& control)
{
    if (!controlHasRange(control.number))
        return std::nullopt;
    const std::optional<Range> range = readRange(camera, control.number);
    const std::optional<int> current = readControl(camera, control.number);
    if (!range || !current || *current < range->minimum || *current > range->maximum)
        return std::nullopt;
    return range;
}

QJsonValue jsonOrNull(const std::optional<int>& value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

}  // namespace

int runGet(Session& session, Arguments& arguments)
{
    const std::optional<QList<ControlName>> controls = takeControls(arguments, false);
    if (!controls || !arguments.finish())
        return session.badUsage(arguments.error());
    if (!session.requireCamera(QStringLiteral("get")))
        return kBadUsage;

    QJsonArray json;
    QList<QStringList> rows;
    int answered = 0;
    for (const ControlName& control : *controls) {
        const std::optional<int> value = readControl(session.camera(), control.number);
        answered += value ? 1 : 0;
        json.append(QJsonObject{{QStringLiteral("property"), QLatin1String(control.name)},
                                {QStringLiteral("number"), control.number},
                                {QStringLiteral("value"), jsonOrNull(value)}});
        rows << QStringList{QLatin1String(control.name), QString::number(control.number),
                            value ? QString::number(*value) : QStringLiteral("refused")};
    }
    if (controls->size() == 1 && answered == 0)
        return session.refused(QStringLiteral("get: the camera refused %1").arg(QLatin1String(controls->first().name)));

    if (session.options().json)
        session.console().json(controls->size() == 1 ? QJsonValue(json.first()) : QJsonValue(json));
    else if (controls->size() == 1)
        session.console().line(QStringLiteral("%1: %2").arg(rows.first()[0], rows.first()[2]));
    else
        session.console().table({QStringLiteral("PROPERTY"), QStringLiteral("NUMBER"), QStringLiteral("VALUE")}, rows);
    return answered > 0 ? kSuccess : kRefused;
}

int runSet(Session& session, Arguments& arguments)
{
    const std::optional<QList<ControlName>> controls = takeControls(arguments, false);
    if (controls && controls->size() != 1)
        arguments.fail(QStringLiteral("set takes one property, not all"));
    std::optional<int> value;
    if (arguments.ok())
        value = takeValue(arguments, controls->first());
    if (!value || !arguments.finish())
        return session.badUsage(arguments.error());
    if (!session.requireCamera(QStringLiteral("set")))
        return kBadUsage;

    const ControlName& control = controls->first();
    UVCCam& camera = session.camera();
    if (const std::optional<Range> range = trustedRange(camera, control);
        range && (*value < range->minimum || *value > range->maximum)) {
        return session.badUsage(QStringLiteral("set: VALUE %1 is out of range for %2 (%3 to %4)")
                                    .arg(*value)
                                    .arg(QLatin1String(control.name))
                                    .arg(range->minimum)
                                    .arg(range->maximum));
    }
    // The third argument (automatic mode) is not used by the library; switches take the value.
    if (camera.setProperty(control.number, *value, false) != 0)
        return session.refused(QStringLiteral("set: the camera refused %1 = %2").arg(QLatin1String(control.name)).arg(*value));
    const std::optional<int> now = readControl(camera, control.number);
    session.console().line(QStringLiteral("%1: %2").arg(QLatin1String(control.name), QString::number(now.value_or(*value))));
    return kSuccess;
}

int runRange(Session& session, Arguments& arguments)
{
    const std::optional<QList<ControlName>> controls = takeControls(arguments, true);
    if (!controls || !arguments.finish())
        return session.badUsage(arguments.error());
    if (!session.requireCamera(QStringLiteral("range")))
        return kBadUsage;

    QJsonArray json;
    QList<QStringList> rows;
    int answered = 0;
    for (const ControlName& control : *controls) {
        const std::optional<Range> range = readRange(session.camera(), control.number);
        answered += range ? 1 : 0;
        QJsonObject entry{{QStringLiteral("property"), QLatin1String(control.name)}, {QStringLiteral("number"), control.number}};
        QStringList row{QLatin1String(control.name), QString::number(control.number)};
        if (range) {
            entry.insert(QStringLiteral("minimum"), range->minimum);
            entry.insert(QStringLiteral("maximum"), range->maximum);
            entry.insert(QStringLiteral("default"), range->defaultValue);
            row << QString::number(range->minimum) << QString::number(range->maximum) << QString::number(range->defaultValue);
        } else {
            entry.insert(QStringLiteral("minimum"), QJsonValue());
            entry.insert(QStringLiteral("maximum"), QJsonValue());
            entry.insert(QStringLiteral("default"), QJsonValue());
            row << QStringLiteral("refused") << QString() << QString();
        }
        json.append(entry);
        rows << row;
    }
    if (controls->size() == 1 && answered == 0)
        return session.refused(QStringLiteral("range: the camera gave no range for %1").arg(QLatin1String(controls->first().name)));

    if (session.options().json) {
        session.console().json(controls->size() == 1 ? QJsonValue(json.first()) : QJsonValue(json));
    } else if (controls->size() == 1) {
        const QStringList& row = rows.first();
        session.console().line(QStringLiteral("%1: minimum %2, maximum %3, default %4").arg(row[0], row[2], row[3], row[4]));
    } else {
        session.console().table({QStringLiteral("PROPERTY"), QStringLiteral("NUMBER"), QStringLiteral("MINIMUM"),
                                 QStringLiteral("MAXIMUM"), QStringLiteral("DEFAULT")},
                                rows);
    }
    return answered > 0 ? kSuccess : kRefused;
}

}  // namespace uvccamctl
