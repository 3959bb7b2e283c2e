// Each change goes to the camera at once and the value it reads back is shown beside it.
#include "ControlsPanel.h"

#include "DeviceDescription.h"
#include "StatusLine.h"

#include "UVCCam.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>

#include <limits>

namespace uvccamviewer {

namespace {

enum Column { kLabelColumn, kInputColumn, kReadBackColumn };

}  // namespace

ControlsPanel::ControlsPanel(UVCCam& camera, StatusLine& status, QWidget* parent)
    : QGroupBox(tr("Camera controls"), parent), camera_(camera), status_(status)
{
    auto* layout = new QGridLayout(this);
    layout->setColumnStretch(kInputColumn, 1);
    int line = 0;
    for (const ControlDescription& control : controlTable())
        addRow(control, line++);
    setEnabled(false);
}

void ControlsPanel::addRow(const ControlDescription& control, int line)
{
    auto* layout = static_cast<QGridLayout*>(this->layout());
    Row row;
    row.control = control;
    row.readBack = new QLabel;
    row.readBack->setObjectName(QStringLiteral("readBack-%1").arg(QLatin1String(control.name)));
    row.readBack->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("= -00000")));
    const int property = control.number;

    if (control.kind == ControlKind::Automatic) {
        row.checkBox = new QCheckBox(QLatin1String(control.label));
        row.checkBox->setObjectName(QLatin1String(control.name));
        connect(row.checkBox, &QCheckBox::toggled, this, [this, property](bool on) { apply(property, on ? 1 : 0); });
        layout->addWidget(row.checkBox, line, kLabelColumn, 1, 2);
    } else {
        row.slider = new QSlider(Qt::Horizontal);
        row.slider->setObjectName(QLatin1String(control.name));
        connect(row.slider, &QSlider::valueChanged, this, [this, property](int value) { apply(property, value); });
        // Without a range from the library any value may be tried; the camera decides.
        row.field = new QSpinBox;
        row.field->setObjectName(QStringLiteral("%1-field").arg(QLatin1String(control.name)));
        row.field->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
        row.field->setKeyboardTracking(false);
        connect(row.field, qOverload<int>(&QSpinBox::valueChanged), this, [this, property](int value) { apply(property, value); });
        auto* inputs = new QWidget;
        auto* inputLayout = new QHBoxLayout(inputs);
        inputLayout->setContentsMargins(0, 0, 0, 0);
        inputLayout->addWidget(row.slider);
        inputLayout->addWidget(row.field);
        layout->addWidget(new QLabel(QLatin1String(control.label)), line, kLabelColumn);
        layout->addWidget(inputs, line, kInputColumn);
    }
    layout->addWidget(row.readBack, line, kReadBackColumn);
    rows_.push_back(row);
}

void ControlsPanel::showDevice(const DeviceInfo& device)
{
    const bool camera = isCamera(device);
    setEnabled(camera);
    for (Row& row : rows_) {
        if (!camera) {
            row.readBack->clear();
            continue;
        }
        readRange(row);
        readValue(row);
    }
}

void ControlsPanel::apply(int property, int value)
{
    Row& row = rows_.at(static_cast<std::size_t>(property));
    const int result = camera_.setProperty(property, value, false);
    if (result != 0)
        status_.refused(QStringLiteral("setProperty(%1, %2)").arg(QLatin1String(row.control.name)).arg(value), result);
    else
        status_.say(tr("setProperty(%1, %2): done").arg(QLatin1String(row.control.name)).arg(value));
    readValue(row);
}

void ControlsPanel::readRange(Row& row)
{
    if (!row.slider)
        return;
    int minimum = 0, maximum = 0, defaultValue = 0;
    const bool ranged = row.control.rangeNumber
                        && camera_.getPropertyRange(*row.control.rangeNumber, &minimum, &maximum, &defaultValue) == 0
                        && minimum < maximum;
    if (ranged) {
        const QSignalBlocker quiet(row.slider);
        row.slider->setRange(minimum, maximum);
        row.slider->setToolTip(tr("%1 to %2, default %3").arg(minimum).arg(maximum).arg(defaultValue));
    }
    row.slider->setVisible(ranged);
    row.field->setVisible(!ranged);
}

void ControlsPanel::readValue(Row& row)
{
    int value = 0;
    const int result = camera_.getProperty(row.control.number, &value);
    if (result != 0) {
        row.readBack->setText(tr("refused"));
        status_.refused(QStringLiteral("getProperty(%1)").arg(QLatin1String(row.control.name)), result);
        return;
    }
    row.readBack->setText(QStringLiteral("= %1").arg(value));
    // The inputs follow what the camera holds, so a refused or clamped value springs back.
    if (row.checkBox) {
        const QSignalBlocker quiet(row.checkBox);
        row.checkBox->setChecked((value & 0xff) != 0);
    }
    if (row.slider) {
        const QSignalBlocker quiet(row.slider);
        row.slider->setValue(value);
    }
    if (row.field) {
        const QSignalBlocker quiet(row.field);
        row.field->setValue(value);
    }
}

}  // namespace uvccamviewer
