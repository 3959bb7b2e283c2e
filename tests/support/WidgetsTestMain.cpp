// Runs the tests of widgets (the hot-key field, the viewer's panels) inside a QApplication on
// the offscreen platform: widgets need one, and no display is needed.
#include "hotkey/HKHotKeyTextFieldEditor.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// The offscreen platform never frees the screen it makes when the application starts;
// that is Qt's, not ours to report.
std::unique_ptr<QApplication> makeApplication(int& argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
#if defined(__SANITIZE_ADDRESS__)
    __lsan_disable();
#endif
    auto application = std::make_unique<QApplication>(argc, argv);
#if defined(__SANITIZE_ADDRESS__)
    __lsan_enable();
#endif
    return application;
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const std::unique_ptr<QApplication> application = makeApplication(argc, argv);
    const int result = RUN_ALL_TESTS();
    // The shared editor is a widget and must go while the application is still there.
    HKHotKeyTextFieldEditor::discardSharedInstance();
    return result;
}
