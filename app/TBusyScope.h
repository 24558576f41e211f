// Holds the window's re-entrancy guard for the life of a scope.
//
// Code that changes controls itself sets HandlerBusy, so that the change
// events the toolkit raises for those changes are ignored by the handlers.
// The guard gets back the value it had, on every way out, because such code
// also runs inside handlers that hold the guard already.
#pragma once

#include "Ksv27mainform.h"

namespace ksv {

class TBusyScope {
public:
    explicit TBusyScope(TMainForm& form = *MainForm) : form_(form), previous_(form.HandlerBusy)
    {
        form_.HandlerBusy = true;
    }
    ~TBusyScope() { form_.HandlerBusy = previous_; }
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;

private:
    TMainForm& form_;
    const bool previous_;
};

} // namespace ksv
