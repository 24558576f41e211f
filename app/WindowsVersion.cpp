#include "WindowsVersion.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace ksv {

int ClassifyWindowsVersion(TOsPlatform platform, unsigned major, unsigned minor)
{
    switch (platform) {
    case TOsPlatform::Win32s: return 1;
    case TOsPlatform::Windows9x:
        if (major == 4 && minor == 0) return 2;
        return (major == 4 && minor > 0) || major > 4 ? 3 : 0;
    case TOsPlatform::WindowsNt:
        if (major <= 4) return 4;
        if (major == 5) return minor == 0 ? 5 : minor == 1 ? 6
                                            : minor == 2   ? 7
                                                           : 0;
        if (major == 6) return minor == 0 ? 8 : minor == 1 ? 9
                                                           : 10;
        return 0;
    case TOsPlatform::Other: break;
    }
    return 0;
}

#ifdef _WIN32
namespace {

TOsPlatform PlatformOf(DWORD id)
{
    switch (id) {
    case VER_PLATFORM_WIN32s: return TOsPlatform::Win32s;
    case VER_PLATFORM_WIN32_WINDOWS: return TOsPlatform::Windows9x;
    case VER_PLATFORM_WIN32_NT: return TOsPlatform::WindowsNt;
    default: return TOsPlatform::Other;
    }
}

// The true version, not the one a manifest-less program is told.
bool QueryRtlVersion(OSVERSIONINFOW& info)
{
    using RtlGetVersion_t = LONG(WINAPI*)(OSVERSIONINFOW*);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return false;
    auto query = reinterpret_cast<RtlGetVersion_t>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    return query && query(&info) == 0;
}

} // namespace

int QueryWindowsVersionCode()
{
    OSVERSIONINFOW info{};
    if (!QueryRtlVersion(info) && !QueryRtlVersion(info)) return 0;
    return ClassifyWindowsVersion(PlatformOf(info.dwPlatformId), info.dwMajorVersion, info.dwMinorVersion);
}
#else
int QueryWindowsVersionCode()
{
    return 0;
}
#endif

} // namespace ksv
