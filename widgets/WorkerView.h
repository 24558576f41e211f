// What both workers see of the window, whatever their work: whether a
// failure may still be shown, the window their dialogs are centred over,
// and the switch of the window's Escape handling, which is off while a
// worker's dialog shows. Window's thread.
#pragma once

class QWidget;

namespace ksv {

class IWorkerView {
public:
    // False once a close has begun: a failure is then not shown.
    virtual bool FailureMayBeShown() = 0;
    virtual QWidget* DialogParent() = 0;
    // Off while a worker's dialog shows, so that Escape cannot clear the
    // window's guard under it.
    virtual void SetShortcutHookEnabled(bool enabled) = 0;

protected:
    ~IWorkerView() = default;
};

// The window's Escape handling off for a worker dialog's lifetime.
class TShortcutHookOff {
public:
    explicit TShortcutHookOff(IWorkerView& view) : view_(view) { view_.SetShortcutHookEnabled(false); }
    ~TShortcutHookOff() { view_.SetShortcutHookEnabled(true); }
    TShortcutHookOff(const TShortcutHookOff&) = delete;
    TShortcutHookOff& operator=(const TShortcutHookOff&) = delete;

private:
    IWorkerView& view_;
};

} // namespace ksv
