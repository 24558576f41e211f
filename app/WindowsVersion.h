// The operating system's version, classified into the small code the window
// keeps in WindowsVersionCode: 1 Win32s; 2 and 3 the 9x line (4.0, later);
// 4 to 10 the NT line (up to 4.x, 5.0, 5.1, 5.2, 6.0, 6.1, other 6.x);
// 0 for NT 7 and later, for anything unknown and on other systems.
#pragma once

namespace ksv {

enum class TOsPlatform {
    Win32s,
    Windows9x,
    WindowsNt,
    Other
};

int ClassifyWindowsVersion(TOsPlatform platform, unsigned major, unsigned minor);

// Asks the running system (twice, if the first query fails); 0 when both
// fail and always 0 on a system that is not Windows.
int QueryWindowsVersionCode();

} // namespace ksv
