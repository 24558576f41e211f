#include "WorkerDialog.h"

#include <QLabel>
#include <QMessageBox>
#include <QStyle>

#include "Ksv27mainform.h"

namespace ksv {

namespace {

QStyle::StandardPixmap IconOf(TDialogKind kind)
{
    switch (kind) {
    case TDialogKind::Information: return QStyle::SP_MessageBoxInformation;
    case TDialogKind::Warning: return QStyle::SP_MessageBoxWarning;
    case TDialogKind::Error: return QStyle::SP_MessageBoxCritical;
    case TDialogKind::Confirmation: return QStyle::SP_MessageBoxQuestion;
    case TDialogKind::None: break;
    }
    return QStyle::SP_CustomBase;
}

} // namespace

int PlaceKindIcon(QDialog& dialog, TDialogKind kind, const QString& objectName)
{
    const QStyle::StandardPixmap iconKind = IconOf(kind);
    if (iconKind == QStyle::SP_CustomBase) return kWorkerDialogMargin;
    auto* icon = new QLabel(&dialog);
    if (!objectName.isEmpty()) icon->setObjectName(objectName);
    icon->setPixmap(dialog.style()->standardIcon(iconKind).pixmap(kWorkerDialogIcon, kWorkerDialogIcon));
    icon->setGeometry(kWorkerDialogMargin, kWorkerDialogMargin, kWorkerDialogIcon, kWorkerDialogIcon);
    return kWorkerDialogMargin + kWorkerDialogIcon + kWorkerDialogMargin;
}

void ApplyWorkerLook(QDialog& dialog, TDialogKind kind, bool confirmationColours)
{
    QFont font = dialog.font();
    font.setPointSize(12);
    dialog.setFont(font);
    const bool error = kind == TDialogKind::Error;
    if (!error && !(confirmationColours && kind == TDialogKind::Confirmation)) return;
    QPalette palette = dialog.palette();
    palette.setColor(QPalette::Window, error ? QColor(255, 128, 32) : QColor(206, 249, 255));
    palette.setColor(QPalette::WindowText, error ? QColor(Qt::white) : QColor(Qt::black));
    dialog.setPalette(palette);
    dialog.setAutoFillBackground(true);
}

QList<int> StandardButtonsOf(int buttons)
{
    const int set = buttons ? buttons : int(QMessageBox::Ok);
    QList<int> results;
    for (int bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1)
        if (set & bit) results.push_back(bit);
    return results;
}

int ShowWorkerDialog(const TModalRequest& request)
{
    struct THookOff {
        THookOff()
        {
            if (MainForm) MainForm->SetShortcutHookEnabled(false);
        }
        ~THookOff()
        {
            if (MainForm) MainForm->SetShortcutHookEnabled(true);
        }
    } hookOff;
    return ShowModal(request);
}

} // namespace ksv
