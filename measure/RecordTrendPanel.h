// The window's recording and trend controls, and what they do with each
// shown cycle. The panel sits in the group parameters' free right-hand part
// (right of the acquisition time), covering no control of the form:
//   a lamp that is lit red while a recording runs, the "Запись" button
//   (Ctrl+L), the record file's name, its row count, and the "Тренд" button
//   (Ctrl+T) that opens the trend window; Ctrl+T in the trend window closes it.
// Nothing of it goes into the settings file. Window's thread.
#pragma once

#include <QFrame>
#include <QPointer>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>

#include "ChannelStatistics.h"
#include "CycleRecorder.h"
#include "CycleResult.h"
#include "TrendHistory.h"
#include "TrendLimits.h"
#include "TrendWindow.h"
#include "ksvapi.h"

class QAction;
class QLabel;
class QPushButton;
class TLed;

namespace ksv {

// What the panel needs of the window.
struct TRecordTrendHost {
    QWidget& Window;       // its shortcuts and its close; the trend window's owner
    QWidget& Box;          // the group parameters box the panel sits in
    const QWidget& Beside; // the acquisition time panel it sits right of
    bool& HandlerBusy;
    const std::atomic<bool>& DiscoveryRunning;
    const std::atomic<std::uint8_t>& ModuleState;
    const Ksv27ModuleRecord& ModuleRecord;
    // The run the window is set up for now: crate, module, rate, acquisition
    // time and the slots that take part.
    std::function<TRunDescription()> DescribeRun;
};

// "KSV27_<serial>_<yyyyMMdd_HHmmss>.csv" in `folder`; characters of the
// serial that do not belong in a file name become '_'.
QString SuggestedRecordPath(const QString& folder, const QString& moduleSerial, const QDateTime& when);

class TRecordTrendPanel : public QFrame {
    Q_OBJECT

public:
    // Builds the controls in the host's group parameters box.
    explicit TRecordTrendPanel(const TRecordTrendHost& host);
    ~TRecordTrendPanel() override;

    // Every shown cycle (the multimeter page's CycleShown): statistics, the
    // record's row, the trend.
    void CycleShown(const TCycleResult& cycle);

    // The two commands, as the buttons and their shortcuts give them.
    void RecordClick();
    void TrendClick();

    bool Recording() const { return recorder_.Recording(); }
    const TCycleRecorder& Recorder() const { return recorder_; }
    TTrendWindow* Trend() const;
    const TChannelStatistics& Statistics() const { return statistics_; }
    // The trend's history and limits, kept from the first cycle on whether
    // the trend window is open or not.
    const TTrendHistory& History() const { return history_; }
    TTrendLimits& Limits() { return limits_; }

    TLed* RecordStatusLed = nullptr;
    QPushButton* RecordLMDButton = nullptr;
    QLabel* RecordFileLMDLabel = nullptr;
    QLabel* RecordRowsLMDLabel = nullptr;
    QPushButton* TrendLMDButton = nullptr;
    QAction* RecordAction = nullptr;
    QAction* TrendAction = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void StartRecording();
    void StopRecording();
    // Ends the recording after a failure or a change of run, and says why
    // once the current hand-off is over.
    void EndRecording(const QString& text, const QString& caption, int kind);
    void FollowRun(const TCycleResult& cycle);
    void ShowRecordState();

    const TRecordTrendHost host_;
    TCycleRecorder recorder_;
    TChannelStatistics statistics_;
    TRunDescription run_;
    bool haveRun_ = false;
    TTrendHistory history_;
    TTrendLimits limits_;
    TTrendViewState trendView_;
    QPointer<TTrendWindow> trend_;
};

} // namespace ksv
