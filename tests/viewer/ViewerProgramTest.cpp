// The built uvccam-viewer as a user starts it: the screenshot run on the simulator, and bad options.
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct ViewerRun {
    int status = -1;
    QString out;
    QString err;
};

ViewerRun runViewer(const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(UVCCAM_VIEWER_PATH), arguments);
    // A hang is a failure: the screenshot needs about a second of frames.
    EXPECT_TRUE(process.waitForFinished(60000));
    ViewerRun result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

TEST(ViewerProgram, VerboseShowsTheLibrarysDiagnosticsByChannelOnStandardError)
{
    QTemporaryDir folder;
    const ViewerRun run = runViewer({"--simulate", "--verbose", "--screenshot", QDir(folder.path()).filePath("v.png")});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QString());
    // The simulated RX710's serial number, which the library reports as it reads it.
    EXPECT_TRUE(run.err.contains(QLatin1String("[system] DeviceSerialNumber = SIM000001"))) << run.err.toStdString();
}

TEST(ViewerProgram, SimulateScreenshotWritesTheWindowWithItsPicture)
{
    QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath("viewer.png");
    const ViewerRun run = runViewer({"--simulate", "--screenshot", path});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QString()) << "the library's diagnostics stay out of the way without --verbose";

    const QImage screenshot(path);
    ASSERT_FALSE(screenshot.isNull());
    // The whole window: the preview alone is 480 by 270.
    EXPECT_GT(screenshot.width(), 900);
    EXPECT_GT(screenshot.height(), 500);
}

TEST(ViewerProgram, HelpNeedsNoDisplay)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(UVCCAM_VIEWER_PATH), {QStringLiteral("--help")});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_TRUE(process.readAllStandardOutput().contains("--simulate"));
}

struct BadLine {
    const char* name;
    QStringList arguments;
    const char* complaint;
};

class ABadCommandLine : public ::testing::TestWithParam<BadLine> {};

TEST_P(ABadCommandLine, EndsAtOnceWithAReason)
{
    const ViewerRun run = runViewer(GetParam().arguments);
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(run.err.contains(QLatin1String(GetParam().complaint))) << run.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Options, ABadCommandLine,
    ::testing::Values(BadLine{"ScreenshotNotPng", {"--simulate", "--screenshot", "window.jpg"}, "must name a .png file"},
                      BadLine{"UnknownOption", {"--simulat"}, "Unknown option"},
                      BadLine{"StrayArgument", {"--simulate", "RX710"}, "unexpected argument 'RX710'"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

}  // namespace
