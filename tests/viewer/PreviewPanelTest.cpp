// The preview: the simulated camera's colour bars on screen, at its rate, dropping rather than queueing.
#include "ViewerWorld.h"

#include "PreviewPanel.h"

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>

#include <array>
#include <cstdlib>
#include <set>

namespace uvccamviewer::testing {

namespace {

// The simulated camera's eight bars at 75 %, as RGB.
constexpr std::array<QRgb, 8> kBars{{0xbfbfbf, 0xbfbf00, 0x00bfbf, 0x00bf00, 0xbf00bf, 0xbf0000, 0x0000bf, 0x000000}};

// The bar this pixel shows, or -1 when it is none of them.
int barOf(QRgb pixel)
{
    constexpr int kTolerance = 24;
    for (std::size_t bar = 0; bar < kBars.size(); ++bar) {
        const QRgb expected = kBars[bar];
        if (std::abs(qRed(pixel) - qRed(expected)) <= kTolerance && std::abs(qGreen(pixel) - qGreen(expected)) <= kTolerance
            && std::abs(qBlue(pixel) - qBlue(expected)) <= kTolerance)
            return static_cast<int>(bar);
    }
    return -1;
}

using PreviewPanelTest = ViewerWorld;

TEST_F(PreviewPanelTest, ShowsTheColourBarsOfTheSelectedCamera)
{
    pass(0.5);
    ASSERT_GT(window().preview().framesShown(), 0);

    // What is on screen, not what the panel holds: a grab of the picture widget.
    const QImage grab = window().preview().pictureView()->grab().toImage();
    const int row = grab.height() / 2;
    std::set<int> barsSeen;
    int samples = 0, matches = 0;
    for (int x = 2; x < grab.width() - 2; x += 4, ++samples) {
        const int bar = barOf(grab.pixel(x, row));
        if (bar >= 0) {
            barsSeen.insert(bar);
            ++matches;
        }
    }
    EXPECT_EQ(barsSeen.size(), kBars.size());
    // Only the few pixels where two bars meet may be something in between.
    EXPECT_GE(matches * 10, samples * 9) << matches << " of " << samples;
}

TEST_F(PreviewPanelTest, MeasuresTheCamerasFrameRate)
{
    double measured = 0;
    QObject::connect(&window().preview(), &PreviewPanel::rateMeasured, [&measured](double rate) { measured = rate; });
    pass(1.5);
    EXPECT_NEAR(measured, 30.0, 0.5);
    EXPECT_TRUE(window().findChild<QLabel*>("frameRate")->text().startsWith("30.0 frames/s, 640 × 360"));
}

TEST_F(PreviewPanelTest, AWindowThatFallsBehindDrawsOnlyTheNewestFrame)
{
    pass(0.1);
    const int before = window().preview().framesShown();
    // A second of frames arrives while the window draws nothing.
    pass(1.0);
    EXPECT_EQ(window().preview().framesShown(), before + 1);
}

TEST_F(PreviewPanelTest, SnapshotWritesThePictureAsPng)
{
    pass(0.2);
    QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath("snapshot.png");
    ASSERT_TRUE(window().preview().saveSnapshot(path));

    const QImage saved(path);
    EXPECT_EQ(saved.size(), QSize(640, 360));
    EXPECT_EQ(saved, window().preview().picture().convertToFormat(saved.format()));
    EXPECT_TRUE(statusText().startsWith("Snapshot written to"));
}

TEST_F(PreviewPanelTest, StopAndStartAgain)
{
    window().preview().stop();
    pass(0.5);
    const int stopped = window().preview().framesShown();
    pass(0.5);
    EXPECT_EQ(window().preview().framesShown(), stopped);

    ASSERT_TRUE(window().preview().start());
    pass(0.5);
    EXPECT_GT(window().preview().framesShown(), stopped);
}

}  // namespace

}  // namespace uvccamviewer::testing
