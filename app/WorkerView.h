// What both workers see of the window, whatever their work: whether a
// failure may still be shown, and the window their dialogs are centred
// over. Window's thread.
#pragma once

class QWidget;

namespace ksv {

class IWorkerView {
public:
    // False once a close has begun: a failure is then not shown.
    virtual bool FailureMayBeShown() = 0;
    virtual QWidget* DialogParent() = 0;

protected:
    ~IWorkerView() = default;
};

} // namespace ksv
