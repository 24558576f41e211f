// A page control that asks before it changes page.
//
// Every change of the active page, whether by a click on a tab, by the
// keyboard (arrows and Home/End on the tabs, Ctrl+Tab and Ctrl+PageUp/Down
// on the control), by the mouse wheel or by a call of setCurrentIndex /
// setCurrentWidget, first calls the changing handler with the index of the
// page about to become active. A handler that sets `cancel` keeps the
// current page, and the control then raises no change signal at all.
//
// Adding, removing or hiding tabs may move the current page as a
// consequence of the structural change; those moves are not asked about.
#pragma once

#include <QTabWidget>
#include <functional>

class QKeyEvent;

class TPageControl : public QTabWidget {
    Q_OBJECT

public:
    using TChangingEx = std::function<void(int newIndex, bool& cancel)>;

    explicit TPageControl(QWidget* parent = nullptr);

    void setChangingEx(TChangingEx handler) { ChangingEx = std::move(handler); }

    // Asks the handler and switches when it lets the change go ahead.
    // Returns true when `index` is the active page afterwards.
    bool requestPage(int index);

    // The size a page has when the control itself has `controlSize`.
    QSize sheetSizeFor(const QSize& controlSize) const;

public slots:
    // Routed through the changing handler (these hide QTabWidget's own).
    void setCurrentIndex(int index);
    void setCurrentWidget(QWidget* page);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class TPageTabBar;
    TChangingEx ChangingEx;
};
