#include "ToolkitTranslations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace ksv {

QTranslator* LoadToolkitTranslations()
{
    const QStringList folders = {QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations")),
                                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    auto* translator = new QTranslator(QCoreApplication::instance());
    // qtbase_ru.qm as Debian and the build ship it; qt_ru.qm as windeployqt merges it.
    for (const QString& folder : folders)
        for (const QString& name : {QStringLiteral("qtbase"), QStringLiteral("qt")})
            if (translator->load(QLocale(QLocale::Russian, QLocale::Russia), name, QStringLiteral("_"), folder)) {
                QCoreApplication::installTranslator(translator);
                return translator;
            }
    delete translator;
    return nullptr;
}

} // namespace ksv
