// The controls panel: every move reaches the camera, and the panel shows what the camera holds.
#include "ViewerWorld.h"

#include "ControlsPanel.h"

#include <QCheckBox>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>

namespace uvccamviewer::testing {

namespace {

using ControlsPanelTest = ViewerWorld;

class MovingASlider : public ControlsPanelTest, public ::testing::WithParamInterface<int> {};

TEST_P(MovingASlider, SetsTheCamerasValueAndShowsItsReadBack)
{
    const int property = GetParam();
    QSlider* slider = window().controls().slider(property);
    ASSERT_TRUE(slider->isVisibleTo(&window()));
    ASSERT_LT(slider->minimum(), slider->maximum());
    // Somewhere the control is not already, inside the range the library gave.
    const int wanted = slider->value() == slider->maximum() ? slider->minimum() : slider->maximum() - 1;

    slider->setValue(wanted);

    int value = -1;
    ASSERT_EQ(camera().getProperty(property, &value), 0);
    EXPECT_EQ(value, wanted);
    EXPECT_EQ(window().controls().readBack(property)->text(), QStringLiteral("= %1").arg(wanted));
}

// Brightness, sharpness, zoom and focus on the RX710; pan and tilt have ranges too.
INSTANTIATE_TEST_SUITE_P(Rx710, MovingASlider, ::testing::Values(1, 2, 9, 10));

TEST_F(ControlsPanelTest, ZoomSliderHasTheLibrarysRange)
{
    int minimum = 0, maximum = 0, defaultValue = 0;
    ASSERT_EQ(camera().getPropertyRange(9, &minimum, &maximum, &defaultValue), 0);
    EXPECT_EQ(window().controls().slider(9)->minimum(), minimum);
    EXPECT_EQ(window().controls().slider(9)->maximum(), maximum);
}

class TurningAnAutomaticModeOff : public ControlsPanelTest, public ::testing::WithParamInterface<int> {};

TEST_P(TurningAnAutomaticModeOff, ReachesTheCameraAndBackOn)
{
    const int property = GetParam();
    QCheckBox* box = window().controls().checkBox(property);
    ASSERT_TRUE(box->isChecked());

    box->setChecked(false);
    int value = -1;
    ASSERT_EQ(camera().getProperty(property, &value), 0);
    EXPECT_EQ(value & 0xff, 0);
    EXPECT_EQ(window().controls().readBack(property)->text(), "= 0");

    box->setChecked(true);
    ASSERT_EQ(camera().getProperty(property, &value), 0);
    EXPECT_NE(value & 0xff, 0);
}

// Automatic white balance and automatic focus.
INSTANTIATE_TEST_SUITE_P(Rx710, TurningAnAutomaticModeOff, ::testing::Values(6, 11));

class AControlWithoutARange : public ControlsPanelTest, public ::testing::WithParamInterface<int> {};

TEST_P(AControlWithoutARange, IsANumberFieldWithTheCamerasValue)
{
    const int property = GetParam();
    EXPECT_FALSE(window().controls().slider(property)->isVisibleTo(&window()));
    QSpinBox* field = window().controls().field(property);
    ASSERT_TRUE(field->isVisibleTo(&window()));
    int value = -1;
    ASSERT_EQ(camera().getProperty(property, &value), 0);
    EXPECT_EQ(field->value(), value);
}

// Saturation, exposure and power-line frequency: no range query asks them.
INSTANTIATE_TEST_SUITE_P(Rx710, AControlWithoutARange, ::testing::Values(3, 12, 13));

TEST_F(ControlsPanelTest, ARefusedValueSpringsBackToWhatTheCameraHolds)
{
    int before = -1;
    ASSERT_EQ(camera().getProperty(9, &before), 0);
    window().controls().apply(9, 5);

    EXPECT_EQ(statusText(), "setProperty(zoom, 5): refused (-1)");
    EXPECT_EQ(window().controls().slider(9)->value(), before);
    EXPECT_EQ(window().controls().readBack(9)->text(), QStringLiteral("= %1").arg(before));
}

}  // namespace

}  // namespace uvccamviewer::testing
