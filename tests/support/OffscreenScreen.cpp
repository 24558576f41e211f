#include "OffscreenScreen.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryFile>

namespace ksv::test {

void UseDesktopSizedOffscreenScreen()
{
    // The platform reads the file when the application object starts; it
    // lives until the process ends.
    static QTemporaryFile config(QDir::tempPath() + QStringLiteral("/ksv27-screen-XXXXXX.json"));
    if (config.open()) {
        config.write(R"({"screens":[{"name":"s","x":0,"y":0,"width":1920,"height":1080}]})");
        config.flush();
    }
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + QFile::encodeName(config.fileName()));
}

} // namespace ksv::test
