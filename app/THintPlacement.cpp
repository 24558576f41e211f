#include "THintPlacement.h"

#include <QApplication>
#include <QHelpEvent>
#include <QScreen>
#include <QToolTip>
#include <QWidget>

namespace ksv {

namespace {
// The toolkit shows a tip this far below and right of the pointer.
const QPoint kTipOffset(2, 16);
} // namespace

QPoint HintPositionInWorkArea(const QRect& hint, const QRect& workArea)
{
    // QRect::bottom()/right() are the last pixel inside; the edge is one past.
    const int bottom = workArea.y() + workArea.height();
    const int right = workArea.x() + workArea.width();
    QPoint position = hint.topLeft();
    if (hint.y() + hint.height() > bottom) position.setY(bottom - hint.height() - kHintEdgeMargin);
    if (hint.x() + hint.width() > right) position.setX(right - hint.width() - kHintEdgeMargin);
    return position;
}

THintPlacement::THintPlacement(QWidget* mainWindow, QWidget** hintWindow)
    : QObject(mainWindow), mainWindow_(mainWindow), hintWindow_(hintWindow)
{
    qApp->installEventFilter(this);
}

QWidget* THintPlacement::FindTipWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("qtooltip_label")) return widget;
    return nullptr;
}

bool THintPlacement::eventFilter(QObject* watched, QEvent* event)
{
    // The tip window settles its size after it is shown (its font and text
    // are applied late): place it again whenever its size changes.
    if (!watched->isWidgetType()) return false; // only widgets have hints
    if (watched == *hintWindow_ && (event->type() == QEvent::Resize || event->type() == QEvent::Show)) {
        PlaceShownHint();
        return false;
    }
    if (event->type() != QEvent::ToolTip) return false;
    auto* widget = static_cast<QWidget*>(watched);
    const QString text = widget->toolTip();
    if (text.isEmpty()) return false;
    const auto* help = static_cast<QHelpEvent*>(event);
    requested_ = help->globalPos() + kTipOffset;
    QToolTip::showText(help->globalPos(), text, widget, QRect(), kHintHideTimeoutMs);
    PlaceShownHint();
    return true;
}

void THintPlacement::PlaceShownHint()
{
    if (*hintWindow_ == nullptr) {
        *hintWindow_ = FindTipWindow();
        if (*hintWindow_) (*hintWindow_)->installEventFilter(this);
    }
    QWidget* tip = *hintWindow_;
    if (tip == nullptr || !tip->isVisible()) return;
    QScreen* screen = mainWindow_->screen() ? mainWindow_->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    // Where the hint would be without the toolkit's own clamp to the screen.
    const QRect wanted(requested_, tip->frameGeometry().size());
    const QPoint position = HintPositionInWorkArea(wanted, screen->availableGeometry());
    if (position != tip->pos()) tip->move(position);
}

} // namespace ksv
