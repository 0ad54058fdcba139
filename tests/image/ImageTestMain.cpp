// The image tests run under a Qt application (offscreen) so that message
// boxes answered later keep the event loop turning, as under the dialogs.
// Nothing is shown: the operator stand-in answers every box.
#include <gmock/gmock.h>

#include <QApplication>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");  // no test here needs a display
    }
    QApplication application(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
