// Places every hint (tool tip) of the application: it stays up for 2000 ms
// and is kept inside the work area of the monitor that shows the main window,
// ending 10 pixels inside the edge it would pass.
//
// The toolkit keeps a tip inside the screen's full geometry only, so the tip
// window is moved after it is shown. The tip window is the program's
// HintWindow once the toolkit has made it (it makes it at the first hint).
#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>

class QWidget;

namespace ksv {

constexpr int kHintHideTimeoutMs = 2000;
constexpr int kHintEdgeMargin = 10;

// Where a hint of the given rectangle goes so that it stays in `workArea`.
QPoint HintPositionInWorkArea(const QRect& hint, const QRect& workArea);

class THintPlacement : public QObject {
public:
    // `mainWindow` decides which monitor's work area applies;
    // `hintWindow` receives the tip window once it exists.
    THintPlacement(QWidget* mainWindow, QWidget** hintWindow);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PlaceShownHint();
    static QWidget* FindTipWindow();

    QWidget* mainWindow_;
    QWidget** hintWindow_;
    QPoint requested_;
};

} // namespace ksv
