// The offscreen platform's default screen (800 x 800) is below the program's
// minimum; this gives it one of 1920 x 1080. Call before the application
// object exists.
#pragma once

namespace ksv::test {

void UseDesktopSizedOffscreenScreen();

} // namespace ksv::test
