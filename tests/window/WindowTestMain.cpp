// Entry of the window tests: the program's application object (with its
// error display) on an offscreen 1920 x 1080 screen, the hand-off pump, and
// the application title the program sets.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "MessagePump.h"
#include "TApplication.h"

int main(int argc, char** argv)
{
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screen.json"));
    QFile file(config);
    if (file.open(QIODevice::WriteOnly))
        file.write(R"({"screens":[{"name":"s","x":0,"y":0,"width":1920,"height":1080}]})");
    file.close();
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + QFile::encodeName(config));
    TApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("KSV27_Vorn"));
    // Tests close windows; that must not end the event loops they wait in.
    QApplication::setQuitOnLastWindowClosed(false);
    ksv::InstallSynchronizerPump();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
