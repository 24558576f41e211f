#include "ModalDialogs.h"

#include <QApplication>
#include <QFileDialog>
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
    if (request.ChosenFile) {
        QFileDialog dialog(QApplication::activeWindow(), request.Caption, request.Text, request.FileFilter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.selectFile(request.Text);
        const int result = dialog.exec();
        const QStringList files = dialog.selectedFiles();
        *request.ChosenFile = result == QDialog::Accepted && !files.isEmpty() ? files.front() : QString();
        if (request.ChosenFilter) *request.ChosenFilter = dialog.selectedNameFilter();
        return result;
    }
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

QString AskSaveFileName(const QString& caption, const QString& suggestedPath, const QString& filter,
                        QString* chosenFilter)
{
    QString chosen;
    TModalRequest request;
    request.Caption = caption;
    request.Text = suggestedPath;
    request.FileFilter = filter;
    request.ChosenFile = &chosen;
    request.ChosenFilter = chosenFilter;
    ShowModal(request);
    return chosen;
}

void SetModalHandler(TModalHandler handler) { Handler() = std::move(handler); }

} // namespace ksv
