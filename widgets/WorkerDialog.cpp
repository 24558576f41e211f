#include "WorkerDialog.h"

#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <algorithm>
#include <cstddef>

#include "ThreadDialogLayout.h"

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

constexpr int kStandardTextWidth = 400;

QLabel* MakeLabel(QDialog& dialog, const QString& text, const char* name)
{
    auto* label = new QLabel(text, &dialog);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

// One button per result, named "Button<i>" when `named`; each ends the
// dialog with its result.
QList<QPushButton*> MakeButtons(QDialog& dialog, const QList<int>& results, bool named)
{
    QList<QPushButton*> buttons;
    for (const int result : results) {
        auto* button = new QPushButton(&dialog);
        if (named) button->setObjectName(QStringLiteral("Button%1").arg(buttons.size()));
        QObject::connect(button, &QPushButton::clicked, &dialog, [d = &dialog, result] { d->done(result); });
        buttons.push_back(button);
    }
    return buttons;
}

int LabelBottom(const QLabel* label) { return label->y() + label->height(); }

// The standard message box's layout at the standard font: the text beside
// the icon, wrapped at 400, the buttons in a row below with their standard
// texts. Returns the width it takes.
int LayOutStandard(QDialog& dialog, QLabel* label, const QList<QPushButton*>& buttons, const QList<int>& results,
                   int textLeft)
{
    label->setWordWrap(false);
    label->adjustSize();
    if (label->width() > kStandardTextWidth) {
        label->setWordWrap(true);
        label->resize(kStandardTextWidth, label->heightForWidth(kStandardTextWidth));
    }
    label->move(textLeft, kWorkerDialogMargin);
    int buttonsRight = kWorkerDialogMargin;
    for (int i = 0; i < buttons.size(); ++i) {
        const QDialogButtonBox standard(static_cast<QDialogButtonBox::StandardButtons>(results[i]));
        const QList<QAbstractButton*> made = standard.buttons();
        buttons[i]->setText(made.isEmpty() ? QStringLiteral("OK") : made.front()->text());
        buttons[i]->adjustSize();
        buttons[i]->move(buttonsRight, LabelBottom(label) + kWorkerDialogMargin);
        buttonsRight += buttons[i]->width() + 8;
    }
    const int width = std::max(textLeft + label->width() + kWorkerDialogMargin, buttonsRight + kWorkerDialogMargin);
    dialog.resize(width, LabelBottom(label) + 60);
    return width;
}

// The discovery's look; returns the height to centre.
int LayOutStandardThenWidened(QDialog& dialog, const TModalRequest& request, const TWorkerDialogLook& look)
{
    const int textLeft = PlaceKindIcon(dialog, request.Kind, QString::fromLatin1(look.IconName));
    QLabel* label = MakeLabel(dialog, request.Text, look.LabelName);
    const QList<int> results = StandardButtonsOf(request.Buttons);
    const QList<QPushButton*> buttons = MakeButtons(dialog, results, true);
    const int widening = kWorkerDialogWidth - LayOutStandard(dialog, label, buttons, results, textLeft);

    dialog.resize(kWorkerDialogWidth, kWorkerDialogHeight);
    ApplyWorkerLook(dialog, request.Kind, false);
    label->setWordWrap(true);
    const int labelWidth = label->width() + widening;
    label->resize(labelWidth, label->heightForWidth(labelWidth));

    const QFontMetrics metrics(dialog.font());
    QPushButton* last = buttons.isEmpty() ? nullptr : buttons.back();
    for (int i = 0; i < buttons.size() && i < request.ButtonCaptions.size(); ++i) {
        const QString& caption = request.ButtonCaptions[i];
        buttons[i]->setText(caption);
        const TButtonBox box =
            CentredButton(dialog.width(), metrics.horizontalAdvance(caption), metrics.height(), LabelBottom(label));
        buttons[i]->setGeometry(box.Left, box.Top, box.Width, box.Height);
        last = buttons[i];
    }
    const int bottom = last ? last->y() + last->height() : LabelBottom(label);
    dialog.resize(kWorkerDialogWidth, bottom + 10);
    return dialog.height();
}

TThreadDialogLayoutInput ComputedLayoutInput(const QDialog& dialog, const QStringList& captions, int labelHeight)
{
    const QFontMetrics metrics(dialog.font());
    TThreadDialogLayoutInput in;
    in.DialogWidth = kWorkerDialogWidth;
    in.ButtonCount = static_cast<int>(captions.size());
    for (const QString& caption : captions)
        in.WidestCaptionWidth = std::max(in.WidestCaptionWidth, metrics.horizontalAdvance(caption));
    in.CaptionTextHeight = metrics.height();
    in.LabelTop = kWorkerDialogMargin;
    in.LabelHeight = labelHeight;
    in.CaptionBarHeight = dialog.style()->pixelMetric(QStyle::PM_TitleBarHeight);
    in.FrameHeight = dialog.style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    return in;
}

// The measurement's look; returns the height to centre (frame included).
int LayOutComputed(QDialog& dialog, const TModalRequest& request, const TWorkerDialogLook& look)
{
    dialog.resize(kWorkerDialogWidth, kWorkerDialogHeight);
    ApplyWorkerLook(dialog, request.Kind, true);
    const int textLeft = PlaceKindIcon(dialog, request.Kind, QString::fromLatin1(look.IconName));
    // The text takes the whole width the wider dialog gives it.
    QLabel* label = MakeLabel(dialog, request.Text, look.LabelName);
    label->setWordWrap(true);
    const int labelWidth = kWorkerDialogWidth - textLeft - kWorkerDialogMargin;
    const int labelHeight = std::max(label->heightForWidth(labelWidth), kWorkerDialogIcon);
    label->setGeometry(textLeft, kWorkerDialogMargin, labelWidth, labelHeight);

    const QStringList captions =
        request.ButtonCaptions.isEmpty() ? QStringList{QStringLiteral("OK")} : request.ButtonCaptions;
    const TThreadDialogLayoutInput in = ComputedLayoutInput(dialog, captions, labelHeight);
    const TThreadDialogLayout layout = ThreadDialogLayout(in);

    // The i-th caption answers with the i-th standard button of the set (OK
    // for captions beyond it).
    QList<int> results = StandardButtonsOf(request.Buttons);
    while (results.size() < captions.size()) results.push_back(QMessageBox::Ok);
    const QList<QPushButton*> buttons = MakeButtons(dialog, results.mid(0, captions.size()), false);
    for (int i = 0; i < buttons.size(); ++i) {
        buttons[i]->setText(captions[i]);
        buttons[i]->setGeometry(layout.ButtonLefts[static_cast<std::size_t>(i)], layout.ButtonTop, layout.ButtonWidth,
                                layout.ButtonHeight);
        buttons[i]->setAutoFillBackground(false);
    }
    if (!buttons.isEmpty()) buttons.front()->setDefault(true);
    // The toolkit sizes the client area; the title bar and frames come on top.
    dialog.setFixedSize(kWorkerDialogWidth, layout.DialogHeight - in.CaptionBarHeight - 2 * in.FrameHeight);
    return layout.DialogHeight;
}

} // namespace

std::unique_ptr<QDialog> BuildWorkerDialog(const TModalRequest& request, const TWorkerDialogLook& look,
                                           QWidget* parent)
{
    auto dialog = std::make_unique<QDialog>(parent);
    if (*look.DialogName) dialog->setObjectName(QString::fromLatin1(look.DialogName));
    dialog->setWindowTitle(request.Caption);
    const int height = look.StandardThenWidened ? LayOutStandardThenWidened(*dialog, request, look)
                                                : LayOutComputed(*dialog, request, look);
    if (parent) {
        const QRect main = parent->frameGeometry();
        dialog->move(CentredOver(main.left(), main.width(), dialog->width()),
                     CentredOver(main.top(), main.height(), height));
    }
    return dialog;
}

TModalRequest WorkerRequest(const QString& caption, TDialogKind kind, int buttons, const QStringList& buttonCaptions,
                            const QString& text)
{
    TModalRequest request;
    request.Caption = caption;
    request.Text = text;
    request.Kind = kind;
    request.Buttons = buttons;
    request.ButtonCaptions = buttonCaptions;
    return request;
}

int ShowWorkerMessage(const TWorkerDialogLook& look, const QString& caption, TDialogKind kind, int buttons,
                      const QStringList& buttonCaptions, const QString& text, QWidget* parent)
{
    TModalRequest request = WorkerRequest(caption, kind, buttons, buttonCaptions, text);
    request.Build = [request, look, parent] { return BuildWorkerDialog(request, look, parent); };
    return ShowModal(request);
}

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

} // namespace ksv
