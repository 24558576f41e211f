#include "ModalDialogs.h"

#include <QMessageBox>

namespace ksv {

namespace {

TModalHandler& Handler()
{
    static TModalHandler handler;
    return handler;
}

QMessageBox::Icon IconOf(TDialogKind kind)
{
    switch (kind) {
    case TDialogKind::Information: return QMessageBox::Information;
    case TDialogKind::Warning: return QMessageBox::Warning;
    case TDialogKind::Error: return QMessageBox::Critical;
    case TDialogKind::Confirmation: return QMessageBox::Question;
    case TDialogKind::None: break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

int RunModalRequest(const TModalRequest& request)
{
    if (request.Build) {
        std::unique_ptr<QDialog> dialog = request.Build();
        return dialog ? dialog->exec() : 0;
    }
    const auto buttons = request.Buttons ? static_cast<QMessageBox::StandardButtons>(request.Buttons)
                                         : QMessageBox::StandardButtons(QMessageBox::Ok);
    QMessageBox box(IconOf(request.Kind), request.Caption, request.Text, buttons);
    return box.exec();
}

int ShowModal(const TModalRequest& request)
{
    const TModalHandler handler = Handler();
    return handler ? handler(request) : RunModalRequest(request);
}

int ShowMessageBox(const QString& text, const QString& caption, TDialogKind kind)
{
    TModalRequest request;
    request.Text = text;
    request.Caption = caption;
    request.Kind = kind;
    return ShowModal(request);
}

void SetModalHandler(TModalHandler handler) { Handler() = std::move(handler); }

} // namespace ksv
