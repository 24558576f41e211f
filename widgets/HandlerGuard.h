// The window's re-entrancy guard, HandlerBusy, in its two common patterns.
//
// Code that changes controls itself sets the guard, so that the change
// events the toolkit raises for those changes are ignored by the handlers.
//   THandlerScope: a user-event handler enters only while the guard is free,
//     holds it for its run and frees it on every way out.
//   TBusyScope: a change of controls holds the guard and gives back the value
//     it had, because such code also runs inside handlers that hold it.
// The few places that free the guard on purpose (Escape, the exit, the page
// rule, the end of a discovery) call ReleaseGuard.
#pragma once

namespace ksv {

class THandlerScope {
public:
    explicit THandlerScope(bool& busy) : busy_(busy), entered_(!busy) { busy_ = true; }
    ~THandlerScope()
    {
        if (entered_) busy_ = false;
    }
    THandlerScope(const THandlerScope&) = delete;
    THandlerScope& operator=(const THandlerScope&) = delete;
    // False when another handler held the guard: the handler does nothing.
    bool Entered() const { return entered_; }

private:
    bool& busy_;
    const bool entered_;
};

class TBusyScope {
public:
    explicit TBusyScope(bool& busy) : busy_(busy), previous_(busy) { busy_ = true; }
    ~TBusyScope() { busy_ = previous_; }
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;

private:
    bool& busy_;
    const bool previous_;
};

inline void ReleaseGuard(bool& busy) { busy = false; }

} // namespace ksv
