// Every modal message box and dialog of the program goes through ShowModal.
//
// The default handler builds the dialog and runs it modally. Tests install
// their own handler, which sees every request (caption, text, kind, buttons)
// and answers it without a modal loop, so no test ever blocks on a dialog.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace ksv {

enum class TDialogKind {
    None,
    Information,
    Warning,
    Error,
    Confirmation
};

struct TModalRequest {
    QString Caption;
    QString Text;
    TDialogKind Kind = TDialogKind::None;
    // The standard button set (QMessageBox::StandardButtons as int); OK when 0.
    int Buttons = 0;
    // Captions given to the buttons in order (the worker dialogs' "Принято").
    QStringList ButtonCaptions;
    // Builds the dialog to show; empty means a standard message box from the
    // fields above. Not called when a test handler answers.
    std::function<std::unique_ptr<QDialog>()> Build;
    // Set for a file-save request: Text holds the suggested path, FileFilter
    // the name filter; the answer's path goes here (left empty: cancelled).
    QString* ChosenFile = nullptr;
    QString FileFilter;
    // Where given, the name filter (file type) the user chose.
    QString* ChosenFilter = nullptr;
};

using TModalHandler = std::function<int(const TModalRequest&)>;

// Shows the request modally (through the installed handler) and returns the modal result.
int ShowModal(const TModalRequest& request);

// Convenience: a message box with text, caption and icon kind; OK only.
int ShowMessageBox(const QString& text, const QString& caption, TDialogKind kind);

// Convenience: asks for the path of a file to write, starting at
// `suggestedPath`; empty when the user cancels. Whether an existing file may
// be replaced is the caller's question to ask.
// `chosenFilter`, where given, receives the file type the user chose.
QString AskSaveFileName(const QString& caption, const QString& suggestedPath, const QString& filter,
                        QString* chosenFilter = nullptr);

// Installs a handler in place of the real dialogs; an empty one restores them.
void SetModalHandler(TModalHandler handler);

// The default behaviour: build the dialog (or a standard message box) and exec() it.
int RunModalRequest(const TModalRequest& request);

} // namespace ksv
