// The trend's plots, painted by the program itself: one strip per group of
// channels (by default one per channel, so each has its own vertical scale)
// over a shared clock-time axis, from the toolkit-free history.
//
//   wheel over a plot: zooms time around the pointer; over the value axis or
//   with Ctrl: zooms that strip's values; drag: pans time and the strip's
//   values; double click: auto scale and follow the newest cycle again.
//   Hovering shows the time and every shown channel's value there: in the
//   gutter beside each strip (which otherwise shows the newest value in
//   view) and, whole, in CursorText and the accessible description. With
//   Shift the wheel scrolls, where the chart sits in a scroll area.
//
// Each strip is at least 60 px high (more for a group's gutter lines); the
// chart asks for that much height and scrolls when the window is lower.
// The chart follows the newest cycle over the chosen span until the user
// pauses, zooms or pans; the data keep coming into the history meanwhile.
// Window's thread.
#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <optional>
#include <utility>
#include <vector>

#include "TrendHistory.h"
#include "TrendLimits.h"
#include "TrendTicks.h"

namespace ksv {

class TPlotCanvas;

// A channel's trace colour.
QColor TraceColor(int channel);
// "мВ", "мА", "Ом".
QString UnitCaption(TChannelUnit unit);
QString ChannelCaption(int channel);

class TStripChart : public QWidget {
    Q_OBJECT

public:
    TStripChart(const TTrendHistory& history, const TTrendLimits& limits, QWidget* parent);

    // The strips, top to bottom, each with the channels it draws.
    void SetStrips(std::vector<std::vector<int>> strips);
    // The span followed: the last spanMs, or (0) everything since the trace began.
    void SetSpan(double spanMs);
    void SetFollowing(bool following);
    bool Following() const { return following_; }
    // Every strip back to auto scale, following the newest cycle.
    void AutoScale();
    // Takes the history's state in and repaints.
    void Redraw();

    int StripCount() const { return static_cast<int>(strips_.size()); }
    const std::vector<int>& StripChannels(int strip) const { return strips_[static_cast<std::size_t>(strip)].Channels; }
    // The strip's value axis, and the extremes of what it shows now.
    std::pair<double, double> ValueRange(int strip) const;
    std::pair<double, double> DataRange(int strip) const;
    std::pair<double, double> TimeRange() const { return {fromMs_, toMs_}; }
    // Whether the channel has a trace drawn now.
    bool Draws(int channel) const;
    // The time and values under the pointer ("" while it is off the plots).
    const QString& CursorText() const { return cursorText_; }
    // Where a time lies across the widget.
    double XOf(double timeMs) const;
    // Puts the cursor at a point of the widget, as hovering does.
    void PointAt(QPoint at);

    QImage ToImage() const;
    QByteArray ToSvg() const;

signals:
    void FollowingChanged(bool following);
    void CursorChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    struct TStrip {
        std::vector<int> Channels;
        std::vector<std::vector<TTrendColumn>> Columns; // per channel, one per pixel column
        bool Auto = true;
        double Low = 0.0, High = 1.0;         // the value axis
        double DataLow = 0.0, DataHigh = 0.0; // what is shown; Low > High while nothing is
        QRectF Plot;
    };

    void Layout();
    void FollowNewest();
    void Thin(TStrip& strip);
    void Paint(TPlotCanvas& canvas, QSizeF size) const;
    void PaintStrip(TPlotCanvas& canvas, const TStrip& strip, bool last) const;
    TTicks LabelledTicks(const TStrip& strip) const;
    std::vector<double> LabelYs(const TStrip& strip, const TTicks& ticks) const;
    void PaintValueGrid(TPlotCanvas& canvas, const TStrip& strip) const;
    // Draws the k-th channel's limits and trace; true where it is outside its limits.
    bool PaintChannel(TPlotCanvas& canvas, const TStrip& strip, std::size_t k) const;
    static void TraceShapes(const TStrip& strip, const std::vector<TTrendColumn>& columns, std::vector<QPointF>& links,
                            std::vector<QRectF>& spans);
    double MinimumHeight(const TStrip& strip) const;
    std::pair<double, double> AutoRange(const TStrip& strip) const;
    void PaintGutter(TPlotCanvas& canvas, const TStrip& strip, bool outside) const;
    QString OffScaleLimits(const TStrip& strip) const;
    std::optional<double> ShownValue(const TStrip& strip, std::size_t k) const;
    static double ValueY(const TStrip& strip, double v);
    void PaintTimeAxis(TPlotCanvas& canvas) const;
    int StripAt(QPointF at) const;
    double TimeAt(double x) const;
    void StopFollowing();
    void UpdateCursor();

    const TTrendHistory& history_;
    const TTrendLimits& limits_;
    std::vector<TStrip> strips_;
    double spanMs_ = 10 * 60 * 1000.0;
    bool following_ = true;
    double fromMs_ = 0.0, toMs_ = 1000.0;
    QRectF timeAxis_;
    QPointF pointer_{-1, -1};
    QString cursorText_;
    std::array<std::optional<double>, kChannelCount> cursorValues_{};
    double gutter_ = 150.0, left_ = 226.0;
    // A drag: where it began, with the ranges it began with.
    bool dragging_ = false;
    QPointF dragFrom_;
    int dragStrip_ = -1;
    double dragFromMs_ = 0.0, dragToMs_ = 0.0, dragLow_ = 0.0, dragHigh_ = 0.0;
};

} // namespace ksv
