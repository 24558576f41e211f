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

// Left to right: the gutter (names, units, values), the value labels, the plot.
constexpr double kValueLabels = 76, kRight = 12, kTop = 6, kBottom = 38, kGap = 6;
// A strip is never lower than this: room for two value labels and its gutter.
constexpr double kMinStripHeight = 60;
// A limit is taken into the automatic scale while the data keep at least
// this share of the strip's height; further off it is marked at the edge.
constexpr double kLimitScaleShare = 0.25;
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
    setMinimumSize(420, 240);
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
    double needed = kTop + kBottom;
    for (const TStrip& strip : strips_) needed += MinimumHeight(strip) + kGap;
    setMinimumHeight(static_cast<int>(std::ceil(std::max(240.0, needed))));
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

// A line of the gutter per channel and two more (outside, off-scale
// limits), and at least two value labels.
double TStripChart::MinimumHeight(const TStrip& strip) const
{
    const double lines = static_cast<double>(strip.Channels.size()) + 2.0;
    return std::max(kMinStripHeight, lines * fontMetrics().height() + 4);
}

void TStripChart::Layout()
{
    QFont bold = font();
    bold.setBold(true);
    gutter_ = QFontMetrics(bold).horizontalAdvance(ChannelCaption(kChannelCount - 1)) +
              fontMetrics().horizontalAdvance(QStringLiteral("-10000.000 мВ")) + 20;
    left_ = gutter_ + kValueLabels;
    const double width = std::max(10.0, this->width() - left_ - kRight);
    const double n = static_cast<double>(strips_.size());
    double minimum = 0.0;
    for (const TStrip& strip : strips_) minimum += MinimumHeight(strip);
    // What is left over beyond each strip's minimum is shared out evenly.
    const double spare = std::max(0.0, height() - kTop - kBottom - kGap * std::max(0.0, n - 1) - minimum);
    double y = kTop;
    for (TStrip& strip : strips_) {
        // Whole pixels: a clip on fractional edges would take the slow path.
        const double each = std::floor(MinimumHeight(strip) + spare / n);
        strip.Plot = QRectF(left_, y, std::floor(width), each);
        y += each + kGap;
    }
    timeAxis_ = QRectF(left_, height() - kBottom, width, kBottom);
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
    if (strip.Auto && strip.DataLow <= strip.DataHigh) std::tie(strip.Low, strip.High) = AutoRange(strip);
}

// The data's extremes, widened to the strip's limits where the data keep
// enough of the height; a limit further off is marked at the edge instead.
std::pair<double, double> TStripChart::AutoRange(const TStrip& strip) const
{
    double low = strip.DataLow, high = strip.DataHigh;
    for (int channel : strip.Channels) {
        const TChannelLimit& limit = limits_.Channel(channel);
        for (const std::optional<double>& bound : {limit.Lower, limit.Upper}) {
            if (!bound) continue;
            const double wideLow = std::min(low, *bound), wideHigh = std::max(high, *bound);
            if (strip.DataHigh - strip.DataLow >= kLimitScaleShare * (wideHigh - wideLow)) {
                low = wideLow;
                high = wideHigh;
            }
        }
    }
    return Padded(low, high);
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
    return fromMs_ + (x - left_) / std::max(1.0, timeAxis_.width()) * (toMs_ - fromMs_);
}

double TStripChart::XOf(double timeMs) const
{
    return left_ + (timeMs - fromMs_) / (toMs_ - fromMs_) * timeAxis_.width();
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
    if (!cursorText_.isEmpty() && pointer_.x() >= left_) {
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
    if (!strip.Channels.empty()) PaintGutter(canvas, strip, outside);
}

// The value ticks of a strip: as many as fit, but at least two that carry a
// label where the strip has room for two (a label keeps half a line off the
// strip's edges and a line from the next).
TTicks TStripChart::LabelledTicks(const TStrip& strip) const
{
    const double line = fontMetrics().height();
    const int fit = std::max(3, static_cast<int>(strip.Plot.height() / line));
    TTicks ticks;
    for (int wanted = fit; wanted <= fit + 6; ++wanted) {
        ticks = ValueTicks(strip.Low, strip.High, wanted);
        if (LabelYs(strip, ticks).size() >= 2) break;
    }
    return ticks;
}

// Where the labels of the ticks go, from the bottom up; a tick too near an
// edge or the label below it has none.
std::vector<double> TStripChart::LabelYs(const TStrip& strip, const TTicks& ticks) const
{
    const double line = fontMetrics().height();
    std::vector<double> ys;
    for (int i = 0; i < ticks.Count; ++i) {
        const double y = ValueY(strip, ticks.First + i * ticks.Step);
        if (y < strip.Plot.top() + line / 2.0 || y > strip.Plot.bottom() - line / 2.0) continue;
        if (!ys.empty() && ys.back() - y < line) continue;
        ys.push_back(y);
    }
    return ys;
}

void TStripChart::PaintValueGrid(TPlotCanvas& canvas, const TStrip& strip) const
{
    const QRectF& plot = strip.Plot;
    const TTicks ticks = LabelledTicks(strip);
    const std::vector<double> labelled = LabelYs(strip, ticks);
    for (int i = 0; i < ticks.Count; ++i) {
        const double v = ticks.First + i * ticks.Step;
        const double y = ValueY(strip, v);
        canvas.Line(QPointF(plot.left(), y), QPointF(plot.right(), y), kGrid);
        if (std::find(labelled.begin(), labelled.end(), y) == labelled.end()) continue;
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
        // One beyond the value axis is named in the gutter instead.
        if (!bound || *bound > strip.High || *bound < strip.Low) continue;
        canvas.Line(QPointF(plot.left(), ValueY(strip, *bound)), QPointF(plot.right(), ValueY(strip, *bound)), kLimit,
                    1.5, true);
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

// The limits beyond the value axis, each with an arrow pointing its way:
// "предел ▲ 9501.000 ▼ 1.490"; empty when there are none.
QString TStripChart::OffScaleLimits(const TStrip& strip) const
{
    QString text;
    for (int channel : strip.Channels) {
        const TChannelLimit& limit = limits_.Channel(channel);
        for (const std::optional<double>& bound : {limit.Upper, limit.Lower}) {
            if (!bound || (*bound <= strip.High && *bound >= strip.Low)) continue;
            text += (*bound > strip.High ? QStringLiteral(" ▲ ") : QStringLiteral(" ▼ ")) +
                    QString::fromStdString(FormatFixed(*bound, ValueDecimals(history_.Unit(channel))));
        }
    }
    return text.isEmpty() ? text : QStringLiteral("предел") + text;
}

// The value a channel's gutter line shows: at the cursor while there is
// one, else the newest value in view.
std::optional<double> TStripChart::ShownValue(const TStrip& strip, std::size_t k) const
{
    const int channel = strip.Channels[k];
    if (!cursorText_.isEmpty()) return cursorValues_[static_cast<std::size_t>(channel)];
    const std::vector<TTrendColumn>& columns = strip.Columns[k];
    for (auto c = columns.rbegin(); c != columns.rend(); ++c)
        if (c->Count) return c->Last;
    return std::nullopt;
}

// Beside the plot, never over it: each channel's name in its colour and its
// value with the unit; then "вне пределов" while a value is outside its
// limits, and the limits beyond the value axis.
void TStripChart::PaintGutter(TPlotCanvas& canvas, const TStrip& strip, bool outside) const
{
    const QRectF& plot = strip.Plot;
    const double line = fontMetrics().height();
    const double right = gutter_ - 8;
    canvas.Clip(QRectF(0, plot.top(), gutter_, plot.height()));
    double y = plot.top() + 2;
    for (std::size_t k = 0; k < strip.Channels.size() && k < strip.Columns.size(); ++k, y += line) {
        const int channel = strip.Channels[k];
        const TChannelUnit unit = history_.Unit(channel);
        const std::optional<double> value = ShownValue(strip, k);
        canvas.Text(QPointF(6, y), ChannelCaption(channel), TraceColor(channel), Qt::AlignLeft | Qt::AlignTop, true);
        const QString text = (value ? QString::fromStdString(FormatFixed(*value, ValueDecimals(unit)))
                                    : QString::fromUtf8(kNoValueText)) +
                             u' ' + UnitCaption(unit);
        canvas.Text(QPointF(right, y), text, limits_.Channel(channel).Outside ? kLimit : kText,
                    Qt::AlignRight | Qt::AlignTop);
    }
    if (outside) {
        canvas.Text(QPointF(6, y), QStringLiteral("вне пределов"), kLimit, Qt::AlignLeft | Qt::AlignTop, true);
        y += line;
    }
    const QString offScale = OffScaleLimits(strip);
    if (!offScale.isEmpty()) canvas.Text(QPointF(6, y), offScale, kLimit, Qt::AlignLeft | Qt::AlignTop);
    canvas.NoClip();
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
    // Shift: the wheel scrolls the strips, when they do not all fit.
    if (event->modifiers() & Qt::ShiftModifier) {
        event->ignore();
        return;
    }
    if (s >= 0 && (at.x() < left_ || (event->modifiers() & Qt::ControlModifier))) {
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
    cursorValues_.fill(std::nullopt);
    if (pointer_.x() >= left_ && pointer_.x() < left_ + timeAxis_.width() && pointer_.y() >= kTop &&
        pointer_.y() < timeAxis_.top() && !history_.Empty()) {
        const double t = TimeAt(pointer_.x());
        text = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(t)).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss.zzz"));
        const auto column = static_cast<std::ptrdiff_t>(pointer_.x() - left_);
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
                if (found) cursorValues_[static_cast<std::size_t>(channel)] = found->Last;
                text += QStringLiteral("; %1: %2 %3")
                            .arg(ChannelCaption(channel),
                                 found ? QString::fromStdString(FormatFixed(found->Last, ValueDecimals(unit)))
                                       : QString::fromUtf8(kNoValueText),
                                 UnitCaption(unit));
            }
    }
    if (text != cursorText_) {
        cursorText_ = text;
        // A screen reader reads the whole readout from the plots themselves.
        setAccessibleDescription(cursorText_);
        emit CursorChanged(cursorText_);
    }
}

} // namespace ksv
