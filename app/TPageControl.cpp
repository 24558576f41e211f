#include "TPageControl.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>
#include <QWheelEvent>

// The tab bar of a TPageControl. A click is checked against the tab under
// the pointer before the bar acts on it. For keys and the wheel, where the
// bar alone knows which tab it would pick, it is allowed to pick with its
// signals blocked (so the pages do not follow), the pick is undone, and the
// page control is asked about it.
class TPageTabBar : public QTabBar {
public:
    explicit TPageTabBar(TPageControl* owner) : QTabBar(owner), Owner(owner) {}

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton) {
            const int index = tabAt(event->position().toPoint());
            if (index >= 0 && index != currentIndex() && isTabEnabled(index)) {
                if (!Owner->requestPage(index)) {
                    event->accept();
                    return;
                }
                // Switched already; let the bar see the press for its own state.
            }
        }
        QTabBar::mousePressEvent(event);
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        Probe([&] { QTabBar::keyPressEvent(event); });
    }

#if QT_CONFIG(wheelevent)
    void wheelEvent(QWheelEvent* event) override
    {
        Probe([&] { QTabBar::wheelEvent(event); });
    }
#endif

private:
    template <typename F> void Probe(F&& base)
    {
        const int before = currentIndex();
        {
            const QSignalBlocker blocker(this);
            base();
        }
        const int after = currentIndex();
        if (after == before) return;
        {
            const QSignalBlocker blocker(this);
            QTabBar::setCurrentIndex(before);
        }
        Owner->requestPage(after);
    }

    TPageControl* Owner;
};

TPageControl::TPageControl(QWidget* parent) : QTabWidget(parent)
{
    setTabBar(new TPageTabBar(this));
}

bool TPageControl::requestPage(int index)
{
    if (index < 0 || index >= count()) return false;
    if (index == currentIndex()) return true;
    bool cancel = false;
    if (ChangingEx) ChangingEx(index, cancel);
    if (cancel) return false;
    QTabWidget::setCurrentIndex(index);
    return currentIndex() == index;
}

void TPageControl::setCurrentIndex(int index) { requestPage(index); }

void TPageControl::setCurrentWidget(QWidget* page)
{
    const int index = indexOf(page);
    if (index >= 0) requestPage(index);
}

void TPageControl::keyPressEvent(QKeyEvent* event)
{
    // Ctrl+Tab and friends: QTabWidget switches through its own
    // setCurrentIndex; let it pick on a silenced bar, then ask.
    QTabBar* bar = tabBar();
    const int before = bar->currentIndex();
    {
        const QSignalBlocker blocker(bar);
        QTabWidget::keyPressEvent(event);
    }
    const int after = bar->currentIndex();
    if (after == before) return;
    {
        const QSignalBlocker blocker(bar);
        bar->setCurrentIndex(before);
    }
    requestPage(after);
}

QSize TPageControl::sheetSizeFor(const QSize& controlSize) const
{
    QStyleOptionTabWidgetFrame option;
    initStyleOption(&option);
    option.rect = QRect(QPoint(0, 0), controlSize);
    return style()->subElementRect(QStyle::SE_TabWidgetTabContents, &option, this).size();
}
