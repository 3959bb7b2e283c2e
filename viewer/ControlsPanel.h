// The selected camera's standard controls: sliders over their ranges, automatic modes as check boxes.
#pragma once

#include "ControlTable.h"
#include "DeviceInfo.h"

#include <QGroupBox>

#include <vector>

class QCheckBox;
class QLabel;
class QSlider;
class QSpinBox;
class UVCCam;

namespace uvccamviewer {

class StatusLine;

class ControlsPanel : public QGroupBox {
    Q_OBJECT

public:
    ControlsPanel(UVCCam& camera, StatusLine& status, QWidget* parent = nullptr);

    // Reads every control's range and value from a camera; a speakerphone or none
    // leaves the panel disabled.
    void showDevice(const DeviceInfo& device);

    // Sets a control the way moving its slider does, then reads it back into the panel.
    void apply(int property, int value);

    // A control's widgets, by property number: the slider (for a control with a range),
    // the field (for one without), the check box (for an automatic mode), and the label
    // with the value the camera reads back.
    QSlider* slider(int property) const { return rows_.at(static_cast<std::size_t>(property)).slider; }
    QSpinBox* field(int property) const { return rows_.at(static_cast<std::size_t>(property)).field; }
    QCheckBox* checkBox(int property) const { return rows_.at(static_cast<std::size_t>(property)).checkBox; }
    QLabel* readBack(int property) const { return rows_.at(static_cast<std::size_t>(property)).readBack; }

private:
    struct Row {
        ControlDescription control;
        QSlider* slider = nullptr;
        QSpinBox* field = nullptr;
        QCheckBox* checkBox = nullptr;
        QLabel* readBack = nullptr;
    };

    void addRow(const ControlDescription& control, int line);
    void readRange(Row& row);
    void readValue(Row& row);

    UVCCam& camera_;
    StatusLine& status_;
    std::vector<Row> rows_;
};

}  // namespace uvccamviewer
