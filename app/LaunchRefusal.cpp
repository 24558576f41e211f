#include "LaunchRefusal.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace ksv {

namespace {

constexpr int kRefusedStatus = 1;

bool InInstalledFolder()
{
#ifdef __linux__
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return !error && std::filesystem::exists(exe.parent_path() / "user-folder.sh", error);
#else
    return false;
#endif
}

// A display the message box can be seen on (not the offscreen platform of
// tests and scripts, where it would wait for ever).
bool HasDisplay()
{
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && (std::strcmp(platform, "offscreen") == 0 || std::strcmp(platform, "minimal") == 0)) return false;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

} // namespace

std::string LaunchRefusal()
{
    if (!InInstalledFolder()) return {};
    const char* given = std::getenv("KSV27_VORN_REFUSAL");
    if (given && *given) return given;
    return "start KSV27_Vorn with its launcher, ksv27-vorn: it runs a copy of the program from your own folder "
           "(~/.local/share/ksv27-vorn), where your settings are kept, never the installed program itself";
}

int RefuseLaunch(int argc, char** argv, const std::string& reason)
{
    std::fprintf(stderr, "%s\n", reason.c_str());
    if (HasDisplay()) {
        QApplication application(argc, argv);
        QMessageBox::critical(nullptr, QStringLiteral("KSV27_Vorn"), QString::fromStdString(reason));
    }
    return kRefusedStatus;
}

} // namespace ksv
