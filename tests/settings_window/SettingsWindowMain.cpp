// Entry of the settings window tests: the program's application object on
// an offscreen 1920 x 1080 screen, and the hand-off pump.
#include <gtest/gtest.h>

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
    QApplication::setQuitOnLastWindowClosed(false);
    ksv::InstallSynchronizerPump();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
