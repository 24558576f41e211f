// The application object, with the general error display: an exception
// that escapes an event handler is shown in the standard error box and the
// message loop goes on. Signal handlers of the window run through
// RunGuarded, so their exceptions are shown the same way before they could
// cross the toolkit's own code.
#pragma once

#include <QApplication>
#include <exception>
#include <utility>

namespace ksv {

// The standard error box for a caught exception: its message (empty for
// something thrown that is not a std::exception), caption the application
// title, error icon. Goes through ShowModal like every other box.
void ShowExceptionBox(std::exception_ptr error);

// The same box with a text of its own (a failure reported as a value).
void ShowErrorBox(const QString& text);

template <typename F> void RunGuarded(F&& step)
{
    try {
        std::forward<F>(step)();
    } catch (...) {
        ShowExceptionBox(std::current_exception());
    }
}

} // namespace ksv

class TApplication : public QApplication {
    Q_OBJECT

public:
    TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

    bool notify(QObject* receiver, QEvent* event) override;
};
