// uvccam-viewer: every capability of the library in one window, on hardware or simulated.
#include "MainWindow.h"
#include "PreviewPanel.h"

#include "UVCCam.h"
#include "UVCCamDiagnostics.h"
#include "UVCCamSimulation.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// Long enough for a camera to start streaming on hardware, short enough that a screenshot
// run that finds no camera ends.
constexpr int kFirstFrameWaitMilliseconds = 15000;

// Only the help is asked for: it needs no window, so no display either (over ssh, say).
bool asksForHelpOnly(int argc, char** argv)
{
    return std::any_of(argv + 1, argv + argc, [](const char* argument) {
        return std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0
               || std::strcmp(argument, "--help-all") == 0;
    });
}

// The offscreen platform, on which the screenshot runs without a display, never frees the
// screen it makes when the application starts; that is Qt's, not ours to report.
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv)
{
    if (asksForHelpOnly(argc, argv))
        return std::make_unique<QCoreApplication>(argc, argv);
#if defined(__SANITIZE_ADDRESS__)
    __lsan_disable();
#endif
    auto application = std::make_unique<QApplication>(argc, argv);
#if defined(__SANITIZE_ADDRESS__)
    __lsan_enable();
#endif
    return application;
}

// The library's diagnostics (serial numbers, device paths, HID retries) are for whoever
// debugs it: with --verbose on standard error, marked with their channel; otherwise nowhere,
// since the window and its status line show what the user needs.
void routeDiagnostics(bool verbose)
{
    if (!verbose) {
        uvccam::setDiagnosticHandler([](uvccam::DiagnosticChannel, const QString&) {});
        return;
    }
    uvccam::setDiagnosticHandler([](uvccam::DiagnosticChannel channel, const QString& text) {
        QTextStream(stderr) << '[' << uvccam::diagnosticChannelName(channel) << "] " << text << '\n';
    });
}

void complain(const QString& message)
{
    QTextStream(stderr) << "uvccam-viewer: " << message << '\n';
}

// Waits for the window's first preview frames, until their rate is shown too (or gives up
// after a while), then writes a grab of the whole window and quits: 0 when the grab has a
// picture in it.
void takeScreenshotWhenReady(uvccamviewer::MainWindow& window, const QString& path)
{
    auto save = [&window, path](bool pictured) {
        if (!window.grab().save(path, "PNG")) {
            complain(QStringLiteral("--screenshot: could not write %1").arg(path));
            QCoreApplication::exit(1);
            return;
        }
        if (!pictured)
            complain(QStringLiteral("--screenshot: no preview frame arrived; the window was saved without one"));
        QCoreApplication::exit(pictured ? 0 : 1);
    };
    auto* giveUp = new QTimer(&window);
    giveUp->setSingleShot(true);
    QObject::connect(giveUp, &QTimer::timeout, &window, [save] { save(false); });
    giveUp->start(kFirstFrameWaitMilliseconds);
    QObject::connect(&window.preview(), &uvccamviewer::PreviewPanel::rateMeasured, &window, [save, giveUp] {
        if (!giveUp->isActive())
            return;
        giveUp->stop();
        // Let the picture's repaint happen before the grab.
        QTimer::singleShot(0, giveUp, [save] { save(true); });
    });
}

}  // namespace

int main(int argc, char** argv)
{
    const std::unique_ptr<QCoreApplication> application = makeApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("uvccam-viewer"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Shows the library at work: the devices, the selected camera's picture and controls, vendor properties, "
        "the microphone test and the hot keys."));
    parser.addHelpOption();
    const QCommandLineOption simulate(QStringLiteral("simulate"),
                                      QStringLiteral("Work on simulated devices (an RX710, an ST470, a LUM610 and a VOXA760)."));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Once the first preview frame is shown, save a picture of the window "
                                                       "as PNG and exit."),
                                        QStringLiteral("FILE.png"));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("The library's own diagnostics on standard error, each marked with "
                                                    "its channel."));
    parser.addOptions({simulate, screenshot, verbose});
    parser.process(*application);
    if (!parser.positionalArguments().isEmpty()) {
        complain(QStringLiteral("unexpected argument '%1' (see --help)").arg(parser.positionalArguments().first()));
        return 2;
    }
    const QString screenshotPath = parser.value(screenshot);
    if (parser.isSet(screenshot) && QFileInfo(screenshotPath).suffix().compare(QLatin1String("png"), Qt::CaseInsensitive) != 0) {
        complain(QStringLiteral("--screenshot '%1' must name a .png file").arg(screenshotPath));
        return 2;
    }

    routeDiagnostics(parser.isSet(verbose));
    // The platform is chosen once, before the first camera object is made; without the
    // simulator the library's default, this machine's devices, is used.
    if (parser.isSet(simulate)) {
        uvccam::sim::useSimulatedDevices();
        uvccam::sim::attachDemoSet();
    }
    const std::unique_ptr<UVCCam> camera(acquireUVCCam());
    uvccamviewer::MainWindow window(*camera);
    if (parser.isSet(screenshot))
        takeScreenshotWhenReady(window, screenshotPath);
    window.show();
    return application->exec();
}
