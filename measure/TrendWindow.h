// The trend window: a view of the history and limits the measurement side
// keeps, with the channels' statistics in a table under the plots.
//
//   two tool rows: the span (1 min, 10 min, 1 h, 8 h, everything since the
//   trace began), Pause, Follow, auto scale, one scale per unit; picture
//   and CSV export, the cursor's reading, statistics reset, close;
//   the strip chart (scrolling when its strips do not fit), a splitter, and
//   the table: the statistics columns, then peak-to-peak, the lower and
//   upper limit (typed into the cells; empty: none; a refused one says why
//   under the table) and the count of crossings. A row's check box shows or
//   hides its channel.
//
// Non-modal, a window of its own; it deletes itself when closed and loses
// nothing with it: the history, the limits and what is shown stay with the
// measurement side for as long as the program runs. Plots and table are
// brought up to date once a second, not at every cycle. Window's thread.
#pragma once

#include <QByteArray>
#include <QSize>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>

#include "ChannelStatistics.h"
#include "TrendHistory.h"
#include "TrendLimits.h"

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QSplitter;
class QTableWidget;
class QTableWidgetItem;
class QVBoxLayout;

namespace ksv {

class TStripChart;

// What the user chose to see; kept beside the history while the program runs.
struct TTrendViewState {
    std::array<bool, kChannelCount> Hidden{};
    bool GroupByUnit = false;
    int Span = 1;        // index into the span list: 1 min, 10 min, 1 h, 8 h, all
    QSize Size;          // the window's size when it was last closed
    QByteArray Splitter; // where the border between plots and table was
};

class TTrendWindow : public QWidget {
    Q_OBJECT

public:
    struct TSources {
        const TTrendHistory* History = nullptr;
        TTrendLimits* Limits = nullptr;
        const TChannelStatistics* Statistics = nullptr;
        TTrendViewState* View = nullptr;
        std::function<void()> ResetStatistics; // clears the statistics and the crossing counts
        std::function<TRunDescription()> Run;  // the run, for an export's header
    };
    // Every source outlives the window.
    TTrendWindow(TSources sources, QWidget* parent);
    ~TTrendWindow() override;

    // Brings plots and table up to date now (the timer does it once a second).
    void Refresh();
    void SetChannelShown(int channel, bool shown);
    void SetGroupByUnit(bool group);
    // Asks for a file and writes the plots as PNG or SVG (by its suffix), or
    // the visible span as CSV. No file is left half-written.
    void ExportPicture();
    void ExportCsv();

    const TTrendHistory& History() const { return *sources_.History; }

    TStripChart* Chart = nullptr;
    QTableWidget* StatisticsTable = nullptr;
    QComboBox* SpanComboBox = nullptr;
    QPushButton* PauseButton = nullptr;
    QPushButton* FollowButton = nullptr;
    QPushButton* AutoScaleButton = nullptr;
    QCheckBox* GroupByUnitCheckBox = nullptr;
    QPushButton* ExportPictureButton = nullptr;
    QPushButton* ExportCsvButton = nullptr;
    QPushButton* ResetStatisticsButton = nullptr;
    QLabel* CursorLabel = nullptr;
    QLabel* LimitMessage = nullptr;
    QSplitter* Splitter = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildToolRow(QVBoxLayout* outer);
    void BuildSpanChoice(QHBoxLayout* row);
    void BuildViewControls();
    QPushButton* BuildFileButtons();
    void BuildTable();
    void RebuildStrips();
    void UpdateTable();
    void FitTable();
    void LimitEdited(QTableWidgetItem* item);
    void ShowLimitMessage(QTableWidgetItem* item, const QString& reason);
    void ShowFollowing(bool following);
    bool WriteFile(const QString& path, const QByteArray& bytes);
    QString AskPath(const QString& caption, const QString& suffix, const QString& filter);

    TSources sources_;
    QTimer refreshTimer_;
    std::uint64_t builtTrace_ = ~std::uint64_t{0};
    std::uint64_t drawnRevision_ = ~std::uint64_t{0};
    bool updatingTable_ = false;
    std::vector<int> columnWidths_;
};

} // namespace ksv
