#include "TrendWindow.h"

#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "MeasureCore.h"

namespace ksv {

namespace {

constexpr int kRefreshMs = 1000;
// The plots show the last ten minutes; the history may hold more.
constexpr double kSpanMs = 10 * 60 * 1000.0;
constexpr std::array<TChannelUnit, 3> kUnits = {TChannelUnit::Millivolt, TChannelUnit::Milliamp, TChannelUnit::Ohm};

enum TColumn {
    kChannelColumn,
    kUnitColumn,
    kCountColumn,
    kMinColumn,
    kMaxColumn,
    kMeanColumn,
    kStdDevColumn,
    kLastColumn,
    kColumnCount
};

QString PlotTitle(TChannelUnit unit)
{
    switch (unit) {
    case TChannelUnit::Millivolt: return QStringLiteral("Напряжение, мВ");
    case TChannelUnit::Milliamp: return QStringLiteral("Сила тока, мА");
    case TChannelUnit::Ohm: return QStringLiteral("Сопротивление, Ом");
    case TChannelUnit::None: break;
    }
    return {};
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

// As many decimals as the window's value edits show for the unit.
int DecimalsOf(TChannelUnit unit) { return unit == TChannelUnit::Milliamp ? 4 : 3; }

QString ChannelCaption(int channel) { return QStringLiteral("Канал %1").arg(channel + 1); }

void SetCell(QTableWidget* table, int row, int column, const QString& text)
{
    QTableWidgetItem* item = table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table->setItem(row, column, item);
    }
    if (item->text() != text) item->setText(text);
}

// A value range with room above and below; a flat line gets a band around it.
std::pair<double, double> PaddedRange(double low, double high)
{
    const double span = high - low;
    const double pad = span > 0.0 ? span * 0.05 : std::max(std::abs(low) * 1e-3, 1e-3);
    return {low - pad, high + pad};
}

} // namespace

TTrendWindow::TTrendWindow(const TChannelStatistics& statistics, std::function<void()> resetStatistics,
                           QWidget* parent)
    : QWidget(parent, Qt::Window), statistics_(statistics), resetStatistics_(std::move(resetStatistics))
{
    setObjectName(QStringLiteral("TrendWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Тренд каналов"));
    setAccessibleName(QStringLiteral("Тренд каналов"));
    resize(1260, 720);
    BuildLayout();
    refreshTimer_.setInterval(kRefreshMs);
    connect(&refreshTimer_, &QTimer::timeout, this, [this] { Refresh(); });
}

TTrendWindow::~TTrendWindow() = default;

void TTrendWindow::BuildLayout()
{
    auto* outer = new QHBoxLayout(this);
    auto* plotsPanel = new QWidget(this);
    plotsLayout_ = new QVBoxLayout(plotsPanel);
    plotsLayout_->setContentsMargins(0, 0, 0, 0);
    noDataLabel_ = new QLabel(QStringLiteral("Нет данных: запустите измерение"), plotsPanel);
    noDataLabel_->setAlignment(Qt::AlignCenter);
    plotsLayout_->addWidget(noDataLabel_);
    outer->addWidget(plotsPanel, 1);

    auto* side = new QVBoxLayout;
    StatisticsTable = new QTableWidget(kChannelCount, kColumnCount, this);
    StatisticsTable->setObjectName(QStringLiteral("StatisticsTable"));
    StatisticsTable->setAccessibleName(QStringLiteral("Статистика каналов"));
    StatisticsTable->setHorizontalHeaderLabels({QStringLiteral("Канал"), QStringLiteral("Ед."),
                                                QStringLiteral("Число"), QStringLiteral("Мин."),
                                                QStringLiteral("Макс."), QStringLiteral("Среднее"),
                                                QStringLiteral("СКО"), QStringLiteral("Последнее")});
    StatisticsTable->verticalHeader()->hide();
    StatisticsTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Widths fixed once for the widest texts: measuring every cell at each
    // update would cost more than the plots.
    const QFontMetrics metrics(StatisticsTable->font());
    const int number = metrics.horizontalAdvance(QStringLiteral("-00000.0000")) + 8;
    for (int column = 0; column < kColumnCount; ++column)
        StatisticsTable->setColumnWidth(column, column == kChannelColumn ? metrics.horizontalAdvance(QStringLiteral("Канал 16")) + 12
                                                : column == kUnitColumn  ? metrics.horizontalAdvance(QStringLiteral("Ед.")) + 16
                                                                         : number);
    side->addWidget(StatisticsTable);
    ResetStatisticsButton = new QPushButton(QStringLiteral("Сбросить статистику"), this);
    ResetStatisticsButton->setObjectName(QStringLiteral("ResetStatisticsButton"));
    ResetStatisticsButton->setAccessibleName(QStringLiteral("Сбросить статистику"));
    ResetStatisticsButton->setToolTip(QStringLiteral("Начать статистику каналов заново"));
    connect(ResetStatisticsButton, &QPushButton::clicked, this, [this] {
        if (resetStatistics_) resetStatistics_();
        UpdateTable();
    });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ResetStatisticsButton);
    auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
    close->setObjectName(QStringLiteral("CloseTrendButton"));
    close->setAccessibleName(QStringLiteral("Закрыть тренд"));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    buttons->addWidget(close);
    side->addLayout(buttons);
    outer->addLayout(side, 0);
    UpdateTable();
}

void TTrendWindow::Add(const TCycleResult& cycle) { history_.Add(cycle); }

void TTrendWindow::NewTrace() { history_.NewTrace(); }

void TTrendWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Refresh();
    refreshTimer_.start();
}

void TTrendWindow::hideEvent(QHideEvent* event)
{
    refreshTimer_.stop();
    QWidget::hideEvent(event);
}

void TTrendWindow::Refresh()
{
    if (history_.TraceNumber() != builtTrace_) RebuildPlots();
    if (history_.Revision() != drawnRevision_) RedrawPlots();
    UpdateTable();
}

void TTrendWindow::RebuildPlots()
{
    for (TPlot& plot : plots_) delete plot.View; // the view owns its chart, the chart its series and axes
    plots_.clear();
    for (TChannelUnit unit : kUnits) {
        TPlot plot = MakePlot(unit);
        if (plot.Series.empty()) {
            delete plot.View;
            continue;
        }
        plotsLayout_->addWidget(plot.View);
        plots_.push_back(plot);
    }
    noDataLabel_->setVisible(plots_.empty());
    for (int c = 0; c < kChannelCount; ++c)
        StatisticsTable->setRowHidden(c, !plots_.empty() && !history_.Traced(c));
    builtTrace_ = history_.TraceNumber();
    drawnRevision_ = ~std::uint64_t{0};
}

TTrendWindow::TPlot TTrendWindow::MakePlot(TChannelUnit unit)
{
    TPlot plot;
    plot.Unit = unit;
    plot.Chart = new QChart;
    plot.Chart->setTitle(PlotTitle(unit));
    plot.Chart->setAnimationOptions(QChart::NoAnimation);
    plot.Chart->legend()->setAlignment(Qt::AlignRight);
    plot.TimeAxis = new QDateTimeAxis;
    plot.TimeAxis->setFormat(QStringLiteral("HH:mm:ss"));
    plot.TimeAxis->setTickCount(4);
    plot.ValueAxis = new QValueAxis;
    plot.ValueAxis->setLabelFormat(unit == TChannelUnit::Milliamp ? QStringLiteral("%.4f") : QStringLiteral("%.3f"));
    plot.Chart->addAxis(plot.TimeAxis, Qt::AlignBottom);
    plot.Chart->addAxis(plot.ValueAxis, Qt::AlignLeft);
    for (int c = 0; c < kChannelCount; ++c) {
        if (history_.Unit(c) != unit) continue;
        auto* series = new QLineSeries;
        series->setName(ChannelCaption(c));
        plot.Chart->addSeries(series);
        series->attachAxis(plot.TimeAxis);
        series->attachAxis(plot.ValueAxis);
        plot.Series.emplace_back(c, series);
    }
    plot.View = new QChartView(plot.Chart);
    plot.View->setAccessibleName(PlotTitle(unit));
    plot.View->setRenderHint(QPainter::Antialiasing, false);
    plot.View->setMinimumHeight(200);
    return plot;
}

void TTrendWindow::RedrawPlots()
{
    double newest = -INFINITY;
    for (int c = 0; c < kChannelCount; ++c) {
        const TTrendRing& ring = history_.Channel(c);
        if (ring.Size() > 0) newest = std::max(newest, ring.At(ring.Size() - 1).TimeMs);
    }
    const double since = newest - kSpanMs;
    double first = INFINITY, last = -INFINITY;
    std::vector<TTrendPoint> thinned;
    QList<QPointF> points;
    for (TPlot& plot : plots_) {
        double low = INFINITY, high = -INFINITY;
        const auto columns = static_cast<std::size_t>(std::max(50.0, plot.Chart->plotArea().width() / 2));
        for (auto& [channel, series] : plot.Series) {
            const TTrendRing& ring = history_.Channel(channel);
            std::size_t from = 0;
            while (from < ring.Size() && ring.At(from).TimeMs < since) ++from;
            ThinForPlot(ring, from, columns, thinned);
            points.clear();
            points.reserve(static_cast<qsizetype>(thinned.size()));
            for (const TTrendPoint& p : thinned) {
                points.append(QPointF(p.TimeMs, p.Value));
                low = std::min(low, p.Value);
                high = std::max(high, p.Value);
            }
            if (!thinned.empty()) {
                first = std::min(first, thinned.front().TimeMs);
                last = std::max(last, thinned.back().TimeMs);
            }
            series->replace(points);
        }
        if (low <= high) {
            const auto [bottom, top] = PaddedRange(low, high);
            plot.ValueAxis->setRange(bottom, top);
        }
    }
    if (first <= last) {
        // At least a second wide, so a single point has an axis to sit on.
        const QDateTime from = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(first));
        const QDateTime to = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::max(last, first + 1000.0)));
        for (TPlot& plot : plots_) plot.TimeAxis->setRange(from, to);
    }
    drawnRevision_ = history_.Revision();
}

void TTrendWindow::UpdateTable()
{
    for (int c = 0; c < kChannelCount; ++c) {
        const TChannelSummary s = statistics_.Channel(c).Summary();
        const TChannelUnit unit = history_.Unit(c);
        const int decimals = DecimalsOf(unit);
        const auto number = [&](double value) {
            return s.Count ? QString::fromStdString(FormatFixed(value, decimals)) : QString::fromUtf8(kNoValueText);
        };
        SetCell(StatisticsTable, c, kChannelColumn, ChannelCaption(c));
        SetCell(StatisticsTable, c, kUnitColumn, UnitCaption(unit));
        SetCell(StatisticsTable, c, kCountColumn, QString::number(s.Count));
        SetCell(StatisticsTable, c, kMinColumn, number(s.Min));
        SetCell(StatisticsTable, c, kMaxColumn, number(s.Max));
        SetCell(StatisticsTable, c, kMeanColumn, number(s.Mean));
        SetCell(StatisticsTable, c, kStdDevColumn, number(s.StdDev));
        SetCell(StatisticsTable, c, kLastColumn, number(s.Last));
    }
    // The whole table in view, without a horizontal scroll bar.
    const int width = StatisticsTable->horizontalHeader()->length() + 2 * StatisticsTable->frameWidth() +
                      StatisticsTable->verticalScrollBar()->sizeHint().width();
    if (StatisticsTable->minimumWidth() < width) StatisticsTable->setMinimumWidth(width);
}

} // namespace ksv
