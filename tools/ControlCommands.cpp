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
std::optional<QList<ControlName>> takeControls(Arguments& arguments)
{
    const std::optional<QString> word = arguments.takeWord(QStringLiteral("PROPERTY (a name, a number or all)"));
    if (!word)
        return std::nullopt;
    if (word->compare(QLatin1String("all"), Qt::CaseInsensitive) == 0) {
        const auto& names = controlNames();
        return QList<ControlName>(names.begin(), names.end());
    }
    const std::optional<ControlName> control = findControl(*word);
    if (!control) {
        arguments.fail(QStringLiteral("unknown property '%1' (one of %2, or 0 to 13)")
                           .arg(*word, controlNameList().join(QStringLiteral(", "))));
        return std::nullopt;
    }
    return QList<ControlName>{*control};
}

// One range the library reports: the property number it is asked with and the control
// that number really asks.
struct RangeRequest {
    int number;
    QString control;
};

// Every property number with a range for "all", each under the control it asks; for one
// control, the number that asks that control's own range.
std::optional<QList<RangeRequest>> takeRangeRequests(Arguments& arguments)
{
    const std::optional<QList<ControlName>> controls = takeControls(arguments);
    if (!controls)
        return std::nullopt;
    QList<RangeRequest> requests;
    if (controls->size() > 1) {
        for (int number = 0; number < kRangeNumbers; ++number)
            requests << RangeRequest{number, rangeAsks(number)};
        return requests;
    }
    const ControlName& control = controls->first();
    const QString name = QLatin1String(control.name);
    if (control.number >= kRangeNumbers) {
        arguments.fail(QStringLiteral("%1 has no range (ranges cover properties 0 to %2)").arg(name).arg(kRangeNumbers - 1));
        return std::nullopt;
    }
    const std::optional<int> number = rangeNumberOf(control);
    if (!number) {
        arguments.fail(QStringLiteral("%1 has no range of its own (property %2 gives the range of %3)")
                           .arg(name)
                           .arg(control.number)
                           .arg(rangeAsks(control.number)));
        return std::nullopt;
    }
    return QList<RangeRequest>{{*number, name}};
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
    if (!value) {
        arguments.fail(QStringLiteral("VALUE '%1' is not a whole number").arg(*word));
        return std::nullopt;
    }
    // The library takes a control's value as a 32-bit integer.
    constexpr int kLowest = std::numeric_limits<int>::min();
    constexpr int kHighest = std::numeric_limits<int>::max();
    if (*value < kLowest || *value > kHighest) {
        arguments.fail(QStringLiteral("VALUE %1 is out of range (%2 to %3)").arg(*word).arg(kLowest).arg(kHighest));
        return std::nullopt;
    }
    return static_cast<int>(*value);
}

// The range a value for this control is checked against: the control's own, when a
// property number asks it and the camera answers. Otherwise there is nothing to check
// against, and the camera judges the value itself.
std::optional<Range> ownRange(UVCCam& camera, const ControlName& control)
{
    const std::optional<int> number = rangeNumberOf(control);
    return number ? readRange(camera, *number) : std::nullopt;
}

QJsonValue jsonOrNull(const std::optional<int>& value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

QJsonObject controlJson(const ControlName& control, const std::optional<int>& value)
{
    return QJsonObject{{QStringLiteral("property"), QLatin1String(control.name)},
                       {QStringLiteral("number"), control.number},
                       {QStringLiteral("value"), jsonOrNull(value)}};
}

}  // namespace

int runGet(Session& session, Arguments& arguments)
{
    const std::optional<QList<ControlName>> controls = takeControls(arguments);
    if (!controls || !arguments.finish())
        return session.badUsage(arguments.error());
    if (!session.requireCamera(QStringLiteral("get")))
        return kNoDevice;

    QJsonArray json;
    QList<QStringList> rows;
    int answered = 0;
    for (const ControlName& control : *controls) {
        const std::optional<int> value = readControl(session.camera(), control.number);
        answered += value ? 1 : 0;
        json.append(controlJson(control, value));
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
    const std::optional<QList<ControlName>> controls = takeControls(arguments);
    if (controls && controls->size() != 1)
        arguments.fail(QStringLiteral("set takes one property, not all"));
    std::optional<int> value;
    if (arguments.ok())
        value = takeValue(arguments, controls->first());
    if (!value || !arguments.finish())
        return session.badUsage(arguments.error());
    if (!session.requireCamera(QStringLiteral("set")))
        return kNoDevice;

    const ControlName& control = controls->first();
    UVCCam& camera = session.camera();
    if (const std::optional<Range> range = ownRange(camera, control);
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
    const int now = readControl(camera, control.number).value_or(*value);
    if (session.options().json)
        session.console().json(controlJson(control, now));
    else
        session.console().line(QStringLiteral("%1: %2").arg(QLatin1String(control.name)).arg(now));
    return kSuccess;
}

int runRange(Session& session, Arguments& arguments)
{
    const std::optional<QList<RangeRequest>> requests = takeRangeRequests(arguments);
    if (!requests || !arguments.finish())
        return session.badUsage(arguments.error());
    if (!session.requireCamera(QStringLiteral("range")))
        return kNoDevice;

    QJsonArray json;
    QList<QStringList> rows;
    int answered = 0;
    for (const RangeRequest& request : *requests) {
        const std::optional<Range> range = readRange(session.camera(), request.number);
        answered += range ? 1 : 0;
        QJsonObject entry{{QStringLiteral("property"), request.control}, {QStringLiteral("number"), request.number}};
        QStringList row{request.control, QString::number(request.number)};
        entry.insert(QStringLiteral("minimum"), range ? QJsonValue(range->minimum) : QJsonValue());
        entry.insert(QStringLiteral("maximum"), range ? QJsonValue(range->maximum) : QJsonValue());
        entry.insert(QStringLiteral("default"), range ? QJsonValue(range->defaultValue) : QJsonValue());
        if (range)
            row << QString::number(range->minimum) << QString::number(range->maximum) << QString::number(range->defaultValue);
        else
            row << QStringLiteral("refused") << QString() << QString();
        json.append(entry);
        rows << row;
    }
    const RangeRequest& first = requests->first();
    if (requests->size() == 1 && answered == 0)
        return session.refused(QStringLiteral("range: the camera gave no range for %1").arg(first.control));

    if (session.options().json) {
        session.console().json(requests->size() == 1 ? QJsonValue(json.first()) : QJsonValue(json));
    } else if (requests->size() == 1) {
        const QStringList& row = rows.first();
        const std::optional<ControlName> control = findControl(first.control);
        // Said when the number differs from the control's, so that nobody mistakes whose range it is.
        const QString askedAs = control && control->number != first.number
            ? QStringLiteral(" (asked as property %1)").arg(first.number)
            : QString();
        session.console().line(
            QStringLiteral("%1: minimum %2, maximum %3, default %4%5").arg(row[0], row[2], row[3], row[4], askedAs));
    } else {
        session.console().table({QStringLiteral("PROPERTY"), QStringLiteral("NUMBER"), QStringLiteral("MINIMUM"),
                                 QStringLiteral("MAXIMUM"), QStringLiteral("DEFAULT")},
                                rows);
    }
    return answered > 0 ? kSuccess : kRefused;
}

}  // namespace uvccamctl
