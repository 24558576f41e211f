// The trend window: the traced channels over time, one plot per unit (mV,
// mA and Ohm never share an axis), and the channels' statistics in a table
// beside them with a button that resets them.
//
// Non-modal, a window of its own. It is fed only while it exists: the record
// panel creates it when the user opens it, and it deletes itself when closed,
// so a closed trend costs neither time nor memory. The plots show the last ten
// minutes and are redrawn once a second from the bounded history, not at
// every cycle. Window's thread.
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

#include "ChannelStatistics.h"
#include "TrendHistory.h"

class QLabel;
class QPushButton;
class QTableWidget;
class QVBoxLayout;

QT_BEGIN_NAMESPACE
class QChart;
class QChartView;
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;
QT_END_NAMESPACE

namespace ksv {

class TTrendWindow : public QWidget {
    Q_OBJECT

public:
    // `statistics` outlives the window; `resetStatistics` clears it.
    TTrendWindow(const TChannelStatistics& statistics, std::function<void()> resetStatistics, QWidget* parent);
    ~TTrendWindow() override;

    void Add(const TCycleResult& cycle);
    // Drops the trace so far; the next cycle begins a new one.
    void NewTrace();
    // Brings plots and table up to date now (the timer does it once a second).
    void Refresh();

    const TTrendHistory& History() const { return history_; }

    QTableWidget* StatisticsTable = nullptr;
    QPushButton* ResetStatisticsButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct TPlot {
        TChannelUnit Unit = TChannelUnit::None;
        QChartView* View = nullptr;
        QChart* Chart = nullptr;
        QDateTimeAxis* TimeAxis = nullptr;
        QValueAxis* ValueAxis = nullptr;
        std::vector<std::pair<int, QLineSeries*>> Series; // channel, its line
    };

    void BuildLayout();
    void RebuildPlots();
    TPlot MakePlot(TChannelUnit unit);
    void RedrawPlots();
    void UpdateTable();

    const TChannelStatistics& statistics_;
    std::function<void()> resetStatistics_;
    TTrendHistory history_;
    std::vector<TPlot> plots_;
    QVBoxLayout* plotsLayout_ = nullptr;
    QLabel* noDataLabel_ = nullptr;
    QTimer refreshTimer_;
    std::uint64_t builtTrace_ = ~std::uint64_t{0};
    std::uint64_t drawnRevision_ = ~std::uint64_t{0};
};

} // namespace ksv
