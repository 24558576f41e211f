// The window messages that the main window posts to itself to start a
// worker: a posted event with the message number and its two parameters.
#pragma once

#include <QEvent>

namespace ksv {

constexpr int WM_USER = 0x0400;
constexpr int WM_START_DISCOVERY = WM_USER + 100;   // 1124: wParam mode, lParam 1 = use saved settings
constexpr int WM_START_MEASUREMENT = WM_USER + 101; // 1125

class TWindowMessage : public QEvent {
public:
    TWindowMessage(int message, long long wParam, long long lParam)
        : QEvent(static_cast<QEvent::Type>(message)), WParam(wParam), LParam(lParam) {}
    const long long WParam;
    const long long LParam;
};

} // namespace ksv
