// The viewer's main window on the simulated demonstration set, on a virtual clock, for each test.
#pragma once

#include "MainWindow.h"
#include "StatusLine.h"

#include "support/SimulatedWorld.h"

#include "UVCCam.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <memory>

namespace uvccamviewer::testing {

// Attaches the RX710, ST470, LUM610 and VOXA760, makes the camera object and the window,
// and shows it. Library time passes only in pass(); what the window does with it (frames
// to draw, queued from the frame callback) happens when the Qt loop runs.
class ViewerWorld : public uvccam::testing::SimulatedWorld {
protected:
    ViewerWorld();
    ~ViewerWorld() override;

    // Lets `seconds` of the library's time pass, then lets the window handle what arrived.
    void pass(double seconds);
    // Runs the Qt loop until the condition holds, for at most a few seconds of real time
    // (the viewer's own timers run in real time); true when it held.
    template <typename Condition>
    bool waitUntil(Condition condition)
    {
        QElapsedTimer timer;
        timer.start();
        while (!condition()) {
            if (timer.elapsed() > kRealTimeLimitMilliseconds)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return true;
    }

    UVCCam& camera() { return *camera_; }
    MainWindow& window() { return *window_; }
    QString statusText() const { return window_->status().text(); }
    // The unique ID of the demonstration set's device of this model.
    QString idOf(const QString& model) const;

private:
    static constexpr int kRealTimeLimitMilliseconds = 5000;

    QStringList attached_;
    std::unique_ptr<UVCCam> camera_;
    std::unique_ptr<MainWindow> window_;
};

}  // namespace uvccamviewer::testing
