#include "TApplication.h"

#include <QCoreApplication>

#include "ModalDialogs.h"

namespace ksv {

void ShowExceptionBox(std::exception_ptr error)
{
    QString text;
    try {
        if (error) std::rethrow_exception(error);
    } catch (const std::exception& e) {
        text = QString::fromUtf8(e.what());
    } catch (...) {
        // Not an exception object: shown with an empty message.
    }
    ShowErrorBox(text);
}

void ShowErrorBox(const QString& text)
{
    QString caption = QCoreApplication::applicationName();
    if (caption.isEmpty()) caption = QStringLiteral("KSV27_Vorn");
    try {
        ShowMessageBox(text, caption, TDialogKind::Error);
    } catch (...) {
        // The error display must not throw in its turn.
    }
}

} // namespace ksv

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ksv::ShowExceptionBox(std::current_exception());
        return false;
    }
}
