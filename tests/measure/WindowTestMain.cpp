// Entry of the window tests: an offscreen screen of 1920 x 1080 (the
// platform's default is below the program's minimum) and the hand-off pump.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "MessagePump.h"

int main(int argc, char** argv)
{
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screen.json"));
    QFile file(config);
    if (file.open(QIODevice::WriteOnly))
        file.write(R"({"screens":[{"name":"s","x":0,"y":0,"width":1920,"height":1080}]})");
    file.close();
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + QFile::encodeName(config));
    QApplication application(argc, argv);
    ksv::InstallSynchronizerPump();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
