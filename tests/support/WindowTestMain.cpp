// Entry of the window tests: the program's application object (with its
// error display) on a desktop-sized offscreen screen, the application title
// the program sets, the libraries of the build, and the hand-off pump.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>

#include "MessagePump.h"
#include "OffscreenScreen.h"
#include "TApplication.h"
#include "TKsvApi.h"

int main(int argc, char** argv)
{
    ksv::test::UseDesktopSizedOffscreenScreen();
    TApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("KSV27_Vorn"));
    // Tests close windows; that must not end the event loops they wait in.
    QApplication::setQuitOnLastWindowClosed(false);
    ksv::SetKsvLibraryFolder(QFile::encodeName(QCoreApplication::applicationDirPath()).constData());
    ksv::InstallSynchronizerPump();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
