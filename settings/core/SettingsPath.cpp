#include "SettingsPath.h"

#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace ksv {

#ifdef _WIN32

std::string ExecutableFolder()
{
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            return {};
        if (n < buf.size()) {
            buf.resize(n);
            break;
        }
        if (buf.size() > 32768)
            return {};
        buf.resize(buf.size() * 2);
    }
    std::wstring path(buf.begin(), buf.end());
    const std::size_t sep = path.find_last_of(L"\\/");
    if (sep == std::wstring::npos)
        return {};
    path.resize(sep);
    const int len = ::WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0,
                                          nullptr, nullptr);
    std::string out(static_cast<std::size_t>(len), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), out.data(), len, nullptr,
                          nullptr);
    return out;
}

#else

std::string ExecutableFolder()
{
    std::vector<char> buf(256);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0)
            return {};
        if (static_cast<std::size_t>(n) < buf.size()) {
            buf.resize(static_cast<std::size_t>(n));
            break;
        }
        if (buf.size() > 65536)
            return {};
        buf.resize(buf.size() * 2);
    }
    std::string path(buf.begin(), buf.end());
    const std::size_t sep = path.rfind('/');
    if (sep == std::string::npos)
        return {};
    return sep == 0 ? std::string("/") : path.substr(0, sep);
}

#endif

std::string SettingsPath(std::string_view folder)
{
    if (folder.empty())
        return {};
    std::string path(folder);
    if (path.back() != kPathSeparator)
        path += kPathSeparator;
    path += kSettingsFileName;
    return path;
}

} // namespace ksv
