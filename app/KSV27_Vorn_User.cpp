// The program's entry: the application object, the screen check, the main
// window and the message loop. Returns 0 in every case, except for a start
// refused before any of that (LaunchRefusal.h).
#include <QFile>
#include <QScreen>
#include <cstdlib>
#include <exception>

#include "Initandconfigthread.h"
#include "Ksv27mainform.h"
#include "LaunchRefusal.h"
#include "MessagePump.h"
#include "ModalDialogs.h"
#include "TApplication.h"
#include "TKsvApi.h"
#include "TWorkerLifecycle.h"
#include "ToolkitTranslations.h"

namespace {

constexpr int kMinScreenWidth = 1280;
constexpr int kMinScreenHeight = 768;

bool ScreenLargeEnough()
{
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary) return false;
    const QSize size = primary->size();
    return size.width() >= kMinScreenWidth && size.height() >= kMinScreenHeight;
}

} // namespace

int main(int argc, char** argv)
{
    if (const std::string refusal = ksv::LaunchRefusal(); !refusal.empty()) return ksv::RefuseLaunch(argc, argv, refusal);
    TApplication application(argc, argv);
    try {
        QCoreApplication::setApplicationName(QStringLiteral("KSV27_Vorn"));
        ksv::LoadToolkitTranslations();
#ifdef _WIN32
        ksv::SetKsvLibraryFolder(QCoreApplication::applicationDirPath().toUtf8().constData());
#else
        ksv::SetKsvLibraryFolder(QFile::encodeName(QCoreApplication::applicationDirPath()).constData());
#endif
        ksv::InstallSynchronizerPump();

        if (!ScreenLargeEnough()) {
            ksv::ShowMessageBox(QStringLiteral("Разрешение монитора должно быть не ниже 1280x768!"),
                                QStringLiteral("Ошибка!!!"), ksv::TDialogKind::None);
            return 0;
        }
        TMainForm window;
        window.show();
        application.exec();
        // What a close that found the window busy skipped: no worker may
        // outlive the window it works on.
        window.Workers->Shutdown();
        // A discovery that outlived even the bounded wait is cut off with the
        // process, before the window it uses is taken down.
        if (InitAndConfigThread) std::_Exit(0);
    } catch (...) {
        ksv::ShowExceptionBox(std::current_exception());
    }
    return 0;
}
