#include "SettingsFilePath.h"

#include <QCoreApplication>
#include <QFile>

namespace ksv {

std::string MainFormSettingsPath()
{
    const QString folder = QCoreApplication::applicationDirPath();
    if (folder.isEmpty()) return {};
    return QFile::encodeName(folder + QStringLiteral("/Ksv27_Vorn.ini")).toStdString();
}

} // namespace ksv
