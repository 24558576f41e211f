#include "StripChart.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <tuple>

#include "MeasureCore.h"
#include "PlotCanvas.h"
#include "TrendCsv.h"
#include "TrendTicks.h"

namespace ksv {

namespace {

constexpr double kLeft = 84, kRight = 12, kTop = 6, kBottom = 38, kGap = 6;
const QColor kGrid(225, 225, 225), kAxis(90, 90, 90), kText(30, 30, 30), kLimit(200, 0, 0), kBack(255, 255, 255);

// A value range with room above and below; a flat line gets a band around it.
std::pair<double, double> Padded(double low, double high)
{
    const double span = high - low;
    const double pad = span > 0.0 ? span * 0.05 : std::max(std::abs(low) * 1e-5, 1e-3);
    return {low - pad, high + pad};
}

QString TimeLabel(double ms, double stepMs)
{
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(ms)));
    if (stepMs < 1000.0) return t.toString(QStringLiteral("HH:mm:ss.zzz"));
    if (stepMs < 60000.0) return t.toString(QStringLiteral("HH:mm:ss"));
    return t.toString(QStringLiteral("HH:mm"));
}

} // namespace

QColor TraceColor(int channel)
{
    static const QColor kColors[] = {{31, 119, 180}, {214, 39, 40}, {44, 160, 44}, {148, 103, 189}, {255, 127, 14}, {23, 190, 207}, {140, 86, 75}, {227, 119, 194}, {0, 0, 0}, {188, 189, 34}, {0, 90, 50}, {120, 120, 120}, {0, 0, 160}, {160, 0, 80}, {90, 60, 0}, {0, 128, 128}};
    return kColors[static_cast<std::size_t>(channel) % 16];
}

QString UnitCaption(TChannelUnit unit)
{
    switch (unit) {
    case TChannelUnit::Millivolt: return QStringLiteral("мВ");
    case TChannelUnit::Milliamp: return QStringLiteral("мА");
    case TChannelUnit::Ohm: return QStringLiteral("Ом");
    case TChannelUnit::None: break;
    }
    return QStringLiteral("--");
}

QString ChannelCaption(int channel) { return QStringLiteral("Канал %1").arg(channel + 1); }

TStripChart::TStripChart(const TTrendHistory& history, const TTrendLimits& limits, QWidget* parent)
    : QWidget(parent), history_(history), limits_(limits)
{
    setObjectName(QStringLiteral("TrendStripChart"));
    setAccessibleName(QStringLiteral("Графики каналов"));
    setMouseTracking(true);
    setMinimumSize(480, 240);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TStripChart::SetStrips(std::vector<std::vector<int>> strips)
{
    strips_.clear();
    for (std::vector<int>& channels : strips) {
        TStrip strip;
        strip.Channels = std::move(channels);
        strips_.push_back(std::move(strip));
    }
    Layout();
    Redraw();
}

void TStripChart::SetSpan(double spanMs)
{
    spanMs_ = spanMs;
    SetFollowing(true);
}

void TStripChart::SetFollowing(bool following)
{
    const bool changed = following != following_;
    following_ = following;
    if (following_) Redraw();
    if (changed) emit FollowingChanged(following_);
}

void TStripChart::StopFollowing() { SetFollowing(false); }

void TStripChart::AutoScale()
{
    for (TStrip& strip : strips_) strip.Auto = true;
    if (following_) Redraw();
    SetFollowing(true);
}

void TStripChart::Layout()
{
    const double width = std::max(10.0, this->width() - kLeft - kRight);
    const double total = std::max(10.0, height() - kTop - kBottom);
    const double n = static_cast<double>(std::max<std::size_t>(strips_.size(), 1));
    // Whole pixels: a clip on fractional edges would take the slow path.
    const double each = std::max(8.0, std::floor((total - kGap * (n - 1)) / n));
    double y = kTop;
    for (TStrip& strip : strips_) {
        strip.Plot = QRectF(kLeft, y, std::floor(width), each);
        y += each + kGap;
    }
    timeAxis_ = QRectF(kLeft, height() - kBottom, width, kBottom);
}

void TStripChart::FollowNewest()
{
    if (history_.Empty()) return;
    // The newest cycle just inside the right edge; while the trace is shorter
    // than the span it grows from the left edge.
    const double first = history_.FirstMs(), last = history_.LastMs() + 1.0;
    const double span = std::max(spanMs_ > 0 ? spanMs_ : last - first, 1000.0);
    fromMs_ = last - first < span ? first : last - span;
    toMs_ = fromMs_ + span;
}

void TStripChart::Thin(TStrip& strip)
{
    const auto columns = static_cast<std::size_t>(std::max(1.0, std::floor(strip.Plot.width())));
    strip.Columns.resize(strip.Channels.size());
    strip.DataLow = INFINITY;
    strip.DataHigh = -INFINITY;
    for (std::size_t k = 0; k < strip.Channels.size(); ++k) {
        strip.Columns[k].resize(columns);
        history_.Trend(strip.Channels[k]).Thin(fromMs_, toMs_, strip.Columns[k]);
        for (const TTrendColumn& c : strip.Columns[k]) {
            if (!c.Count) continue;
            strip.DataLow = std::min(strip.DataLow, c.Min);
            strip.DataHigh = std::max(strip.DataHigh, c.Max);
        }
    }
    if (strip.Auto && strip.DataLow <= strip.DataHigh) std::tie(strip.Low, strip.High) = Padded(strip.DataLow, strip.DataHigh);
}

void TStripChart::Redraw()
{
    if (following_) FollowNewest();
    for (TStrip& strip : strips_) Thin(strip);
    UpdateCursor();
    update();
}

std::pair<double, double> TStripChart::ValueRange(int strip) const
{
    const TStrip& s = strips_[static_cast<std::size_t>(strip)];
    return {s.Low, s.High};
}

std::pair<double, double> TStripChart::DataRange(int strip) const
{
    const TStrip& s = strips_[static_cast<std::size_t>(strip)];
    return {s.DataLow, s.DataHigh};
}

bool TStripChart::Draws(int channel) const
{
    for (const TStrip& strip : strips_)
        for (std::size_t k = 0; k < strip.Channels.size(); ++k)
            if (strip.Channels[k] == channel && k < strip.Columns.size())
                return std::any_of(strip.Columns[k].begin(), strip.Columns[k].end(),
                                   [](const TTrendColumn& c) { return c.Count > 0; });
    return false;
}

double TStripChart::TimeAt(double x) const
{
    return fromMs_ + (x - kLeft) / std::max(1.0, timeAxis_.width()) * (toMs_ - fromMs_);
}

double TStripChart::XOf(double timeMs) const
{
    return kLeft + (timeMs - fromMs_) / (toMs_ - fromMs_) * timeAxis_.width();
}

int TStripChart::StripAt(QPointF at) const
{
    for (std::size_t i = 0; i < strips_.size(); ++i) {
        const QRectF& p = strips_[i].Plot;
        if (at.y() >= p.top() && at.y() <= p.bottom() && at.x() >= 0 && at.x() <= p.right()) return static_cast<int>(i);
    }
    return -1;
}

void TStripChart::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    TPainterCanvas canvas(painter);
    Paint(canvas, size());
}

void TStripChart::Paint(TPlotCanvas& canvas, QSizeF size) const
{
    canvas.FillRect(QRectF(QPointF(0, 0), size), kBack);
    if (strips_.empty() || history_.Empty()) {
        canvas.Text(QPointF(size.width() / 2, size.height() / 2), QStringLiteral("Нет данных: запустите измерение"),
                    kText, Qt::AlignHCenter | Qt::AlignVCenter);
        return;
    }
    for (std::size_t i = 0; i < strips_.size(); ++i) PaintStrip(canvas, strips_[i], i + 1 == strips_.size());
    PaintTimeAxis(canvas);
    if (!cursorText_.isEmpty() && pointer_.x() >= kLeft) {
        canvas.Line(QPointF(pointer_.x(), kTop), QPointF(pointer_.x(), timeAxis_.top()), kAxis, 1.0, true);
    }
}

double TStripChart::ValueY(const TStrip& strip, double v)
{
    return strip.Plot.bottom() - (v - strip.Low) / (strip.High - strip.Low) * strip.Plot.height();
}

void TStripChart::PaintStrip(TPlotCanvas& canvas, const TStrip& strip, bool last) const
{
    (void)last;
    PaintValueGrid(canvas, strip);
    canvas.Clip(strip.Plot);
    bool outside = false;
    for (std::size_t k = 0; k < strip.Channels.size() && k < strip.Columns.size(); ++k)
        outside = PaintChannel(canvas, strip, k) || outside;
    canvas.NoClip();
    canvas.FrameRect(strip.Plot, outside ? kLimit : kAxis);
    if (!strip.Channels.empty()) PaintStripName(canvas, strip, outside);
}

void TStripChart::PaintValueGrid(TPlotCanvas& canvas, const TStrip& strip) const
{
    const QRectF& plot = strip.Plot;
    const int fontHeight = fontMetrics().height();
    const TTicks ticks = ValueTicks(strip.Low, strip.High, std::max(3, static_cast<int>(plot.height() / fontHeight)));
    for (int i = 0; i < ticks.Count; ++i) {
        const double v = ticks.First + i * ticks.Step;
        const double y = ValueY(strip, v);
        canvas.Line(QPointF(plot.left(), y), QPointF(plot.right(), y), kGrid);
        // A label that would reach into the next strip is left out.
        if (y < plot.top() + fontHeight / 2.0 || y > plot.bottom() - fontHeight / 2.0) continue;
        canvas.Text(QPointF(plot.left() - 4, y), QString::fromStdString(FormatFixed(v, ticks.Decimals)), kText,
                    Qt::AlignRight | Qt::AlignVCenter);
    }
}

bool TStripChart::PaintChannel(TPlotCanvas& canvas, const TStrip& strip, std::size_t k) const
{
    const QRectF& plot = strip.Plot;
    const int channel = strip.Channels[k];
    const TChannelLimit& limit = limits_.Channel(channel);
    for (const std::optional<double>& bound : {limit.Lower, limit.Upper}) {
        if (bound)
            canvas.Line(QPointF(plot.left(), ValueY(strip, *bound)), QPointF(plot.right(), ValueY(strip, *bound)),
                        kLimit, 1.5, true);
    }
    std::vector<QPointF> links;
    std::vector<QRectF> spans;
    TraceShapes(strip, strip.Columns[k], links, spans);
    const double width = limit.Outside ? 2.0 : 1.0;
    canvas.Segments(links, TraceColor(channel), width);
    canvas.FillRects(spans, TraceColor(channel));
    if (limit.Outside) {
        for (QRectF& span : spans) span.adjust(-1, -1, 1, 1); // a marked trace is drawn bolder
        canvas.FillRects(spans, TraceColor(channel));
    }
    return limit.Outside;
}

// Each column's extremes as a one-pixel band, widened to the last value of
// the column before, so neighbouring bands join up and a one-cycle glitch
// shows at any span; columns with empty ones between them are joined by a line.
void TStripChart::TraceShapes(const TStrip& strip, const std::vector<TTrendColumn>& columns,
                              std::vector<QPointF>& links, std::vector<QRectF>& spans)
{
    const QRectF& plot = strip.Plot;
    std::ptrdiff_t before = -2;
    double last = 0.0;
    for (std::size_t x = 0; x < columns.size(); ++x) {
        const TTrendColumn& c = columns[x];
        if (!c.Count) continue;
        const double px = plot.left() + static_cast<double>(x);
        double low = c.Min, high = c.Max;
        if (before == static_cast<std::ptrdiff_t>(x) - 1) {
            low = std::min(low, last);
            high = std::max(high, last);
        } else if (before >= 0) {
            links.emplace_back(plot.left() + static_cast<double>(before) + 0.5, ValueY(strip, last));
            links.emplace_back(px + 0.5, ValueY(strip, c.First));
        }
        spans.emplace_back(px, ValueY(strip, high), 1.0, ValueY(strip, low) - ValueY(strip, high) + 1.0);
        before = static_cast<std::ptrdiff_t>(x);
        last = c.Last;
    }
}

// The strip's name on a light ground: its channels in their colours, the unit.
void TStripChart::PaintStripName(TPlotCanvas& canvas, const TStrip& strip, bool outside) const
{
    const QRectF& plot = strip.Plot;
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    QString unit = u' ' + UnitCaption(history_.Unit(strip.Channels.front()));
    if (outside) unit += QStringLiteral(" — вне пределов");
    double width = metrics.horizontalAdvance(unit) + 8;
    for (int channel : strip.Channels) width += metrics.horizontalAdvance(ChannelCaption(channel)) + 8;
    // On a light ground where the strip has room for it; a low strip keeps its trace in view.
    if (plot.height() > 3 * metrics.height())
        canvas.FillRect(QRectF(plot.left() + 1, plot.top() + 1, width, metrics.height() + 2), QColor(255, 255, 255, 220));
    double x = plot.left() + 6;
    for (int channel : strip.Channels) {
        canvas.Text(QPointF(x, plot.top() + 2), ChannelCaption(channel), TraceColor(channel),
                    Qt::AlignLeft | Qt::AlignTop, true);
        x += metrics.horizontalAdvance(ChannelCaption(channel)) + 8;
    }
    canvas.Text(QPointF(x - 8, plot.top() + 2), unit, outside ? kLimit : kText, Qt::AlignLeft | Qt::AlignTop, true);
}

void TStripChart::PaintTimeAxis(TPlotCanvas& canvas) const
{
    const double width = timeAxis_.width();
    const double offsetMs = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(fromMs_)).offsetFromUtc() * 1000.0;
    const int labelWidth = fontMetrics().horizontalAdvance(QStringLiteral("00:00:00.000")) + 24;
    const TTicks ticks = TimeTicks(fromMs_, toMs_, std::max(2, static_cast<int>(width / labelWidth)), offsetMs);
    const QDate today = QDate::currentDate();
    const bool dated = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(fromMs_)).date() != today;
    QDate shownDate;
    for (int i = 0; i < ticks.Count; ++i) {
        const double t = ticks.First + i * ticks.Step, x = XOf(t);
        for (const TStrip& strip : strips_)
            canvas.Line(QPointF(x, strip.Plot.top()), QPointF(x, strip.Plot.bottom()), kGrid);
        canvas.Line(QPointF(x, timeAxis_.top() - kGap), QPointF(x, timeAxis_.top() - kGap + 4), kAxis);
        canvas.Text(QPointF(x, timeAxis_.top()), TimeLabel(t, ticks.Step), kText, Qt::AlignHCenter | Qt::AlignTop);
        const QDate date = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(t)).date();
        if (dated && date != shownDate) {
            canvas.Text(QPointF(x, timeAxis_.top() + fontMetrics().height()), date.toString(QStringLiteral("dd.MM.yyyy")),
                        kText, Qt::AlignHCenter | Qt::AlignTop);
            shownDate = date;
        }
    }
}

QImage TStripChart::ToImage() const
{
    QImage image(size(), QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setFont(font());
    TPainterCanvas canvas(painter);
    Paint(canvas, size());
    return image;
}

QByteArray TStripChart::ToSvg() const
{
    TSvgCanvas canvas(size(), font());
    Paint(canvas, size());
    return canvas.Document();
}

void TStripChart::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Layout();
    Redraw();
}

void TStripChart::wheelEvent(QWheelEvent* event)
{
    const QPointF at = event->position();
    const double factor = event->angleDelta().y() > 0 ? 0.8 : 1.25;
    const int s = StripAt(at);
    if (s >= 0 && (at.x() < kLeft || (event->modifiers() & Qt::ControlModifier))) {
        TStrip& strip = strips_[static_cast<std::size_t>(s)];
        const double v = strip.High - (at.y() - strip.Plot.top()) / strip.Plot.height() * (strip.High - strip.Low);
        strip.Low = v - (v - strip.Low) * factor;
        strip.High = v + (strip.High - v) * factor;
        strip.Auto = false;
    } else {
        const double t = TimeAt(at.x());
        fromMs_ = t - (t - fromMs_) * factor;
        toMs_ = t + (toMs_ - t) * factor;
        StopFollowing();
        for (TStrip& strip : strips_) Thin(strip);
    }
    UpdateCursor();
    update();
    event->accept();
}

void TStripChart::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    dragFrom_ = event->position();
    dragStrip_ = StripAt(dragFrom_);
    dragFromMs_ = fromMs_;
    dragToMs_ = toMs_;
    if (dragStrip_ >= 0) std::tie(dragLow_, dragHigh_) = ValueRange(dragStrip_);
}

void TStripChart::mouseMoveEvent(QMouseEvent* event)
{
    pointer_ = event->position();
    if (dragging_ && (event->buttons() & Qt::LeftButton)) {
        const QPointF d = pointer_ - dragFrom_;
        if (std::abs(d.x()) >= 1) {
            const double shift = -d.x() / std::max(1.0, timeAxis_.width()) * (dragToMs_ - dragFromMs_);
            fromMs_ = dragFromMs_ + shift;
            toMs_ = dragToMs_ + shift;
            StopFollowing();
        }
        if (dragStrip_ >= 0 && std::abs(d.y()) >= 1) {
            TStrip& strip = strips_[static_cast<std::size_t>(dragStrip_)];
            const double shift = d.y() / strip.Plot.height() * (dragHigh_ - dragLow_);
            strip.Low = dragLow_ + shift;
            strip.High = dragHigh_ + shift;
            strip.Auto = false;
        }
        for (TStrip& strip : strips_) Thin(strip);
    }
    UpdateCursor();
    update();
}

void TStripChart::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }

void TStripChart::mouseDoubleClickEvent(QMouseEvent*) { AutoScale(); }

void TStripChart::leaveEvent(QEvent*)
{
    pointer_ = QPointF(-1, -1);
    UpdateCursor();
    update();
}

void TStripChart::PointAt(QPoint at)
{
    pointer_ = at;
    UpdateCursor();
    update();
}

void TStripChart::UpdateCursor()
{
    QString text;
    if (pointer_.x() >= kLeft && pointer_.x() < kLeft + timeAxis_.width() && pointer_.y() >= kTop &&
        pointer_.y() < timeAxis_.top() && !history_.Empty()) {
        const double t = TimeAt(pointer_.x());
        text = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(t)).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss.zzz"));
        const auto column = static_cast<std::ptrdiff_t>(pointer_.x() - kLeft);
        for (const TStrip& strip : strips_)
            for (std::size_t k = 0; k < strip.Channels.size() && k < strip.Columns.size(); ++k) {
                const std::vector<TTrendColumn>& columns = strip.Columns[k];
                // The nearest column with a value, a few pixels either way.
                const TTrendColumn* found = nullptr;
                for (std::ptrdiff_t d = 0; d <= 8 && !found; ++d)
                    for (std::ptrdiff_t x : {column - d, column + d})
                        if (!found && x >= 0 && x < static_cast<std::ptrdiff_t>(columns.size()) &&
                            columns[static_cast<std::size_t>(x)].Count)
                            found = &columns[static_cast<std::size_t>(x)];
                const int channel = strip.Channels[k];
                const TChannelUnit unit = history_.Unit(channel);
                text += QStringLiteral("; %1: %2 %3")
                            .arg(ChannelCaption(channel),
                                 found ? QString::fromStdString(FormatFixed(found->Last, ValueDecimals(unit)))
                                       : QString::fromUtf8(kNoValueText),
                                 UnitCaption(unit));
            }
    }
    if (text != cursorText_) {
        cursorText_ = text;
        emit CursorChanged(cursorText_);
    }
}

} // namespace ksv
