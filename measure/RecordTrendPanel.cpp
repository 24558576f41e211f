#include "RecordTrendPanel.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>

#include "BoundedText.h"
#include "DeviceStates.h"
#include "HandlerGuard.h"
#include "MezzanineKind.h"
#include "ModalDialogs.h"
#include "NamedButton.h"
#include "ModuleInventory.h"
#include "TApplication.h"
#include "TLed.h"
#include "TrendWindow.h"

namespace ksv {

namespace {

constexpr int kPanelWidth = 400, kPanelHeight = 26, kGap = 12;

const QString kNoModuleText = QStringLiteral("Нет открытого модуля! Поэтому данная опция не доступна!");
const QString kAttentionCaption = QStringLiteral("Внимание!!!");
const QString kRecordCaption = QStringLiteral("Запись");
const QString kStopRecordCaption = QStringLiteral("Стоп записи");

QString Utf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString ReasonOf(int errorNumber) { return Utf8(RecordErrorReason(errorNumber)); }

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& accessibleName, const QRect& geometry)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setAccessibleName(accessibleName);
    label->setGeometry(geometry);
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Sunken);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const QString& hint,
                        const QRect& geometry)
{
    auto* button = MakeNamedButton(parent, name, caption, caption, hint);
    button->setGeometry(geometry);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

} // namespace

QString SuggestedRecordPath(const QString& folder, const QString& moduleSerial, const QDateTime& when)
{
    QString serial;
    for (QChar c : moduleSerial)
        serial += (c.isLetterOrNumber() && c.unicode() < 128) || c == u'-' ? c : QChar(u'_');
    if (serial.isEmpty()) serial = QStringLiteral("module");
    const QString name = QStringLiteral("KSV27_%1_%2.csv").arg(serial, when.toString(QStringLiteral("yyyyMMdd_HHmmss")));
    return QDir(folder).filePath(name);
}

TRecordTrendPanel::TRecordTrendPanel(const TRecordTrendHost& host) : QFrame(&host.Box), host_(host)
{
    setObjectName(QStringLiteral("RecordTrendLMDSimplePanel"));
    setFrameShape(QFrame::NoFrame);
    QFont plain = font();
    plain.setBold(false);
    setFont(plain);
    const QWidget* time = &host.Beside;
    setGeometry(time->x() + time->width() + kGap, time->y(), kPanelWidth, kPanelHeight);
    BuildControls();
    ShowRecordState();
    host.Window.installEventFilter(this);
    show();
}

bool TRecordTrendPanel::eventFilter(QObject* watched, QEvent* event)
{
    // The trend window goes with the main window.
    if (watched == &host_.Window && event->type() == QEvent::Close && trend_) trend_->close();
    return QFrame::eventFilter(watched, event);
}

// The form goes first; nothing of it is touched here.
TRecordTrendPanel::~TRecordTrendPanel() = default;

TTrendWindow* TRecordTrendPanel::Trend() const { return trend_; }

void TRecordTrendPanel::BuildControls()
{
    RecordStatusLed = new TLed(this);
    RecordStatusLed->setObjectName(QStringLiteral("RecordStatusLed"));
    RecordStatusLed->setAccessibleName(QStringLiteral("Признак записи"));
    RecordStatusLed->setGeometry(0, 5, 16, 16);
    RecordLMDButton = MakeButton(this, "RecordLMDButton", kRecordCaption,
                                 QStringLiteral("Запись измерений в файл (Ctrl+L)"), QRect(20, 0, 88, 26));
    RecordFileLMDLabel = MakeLabel(this, "RecordFileLMDLabel", QStringLiteral("Файл записи"), QRect(112, 0, 148, 26));
    RecordRowsLMDLabel =
        MakeLabel(this, "RecordRowsLMDLabel", QStringLiteral("Записано строк"), QRect(264, 0, 68, 26));
    TrendLMDButton = MakeButton(this, "TrendLMDButton", QStringLiteral("Тренд"),
                                QStringLiteral("Тренд и статистика каналов (Ctrl+T)"), QRect(336, 0, 64, 26));

    const auto command = [this](QAction*& action, const char* name, const QString& caption, const QKeySequence& key,
                                void (TRecordTrendPanel::*run)()) {
        action = new QAction(caption, &host_.Window);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(key);
        host_.Window.addAction(action);
        connect(action, &QAction::triggered, this, [this, run] { RunGuarded([&] { (this->*run)(); }); });
    };
    command(RecordAction, "RecordAction", kRecordCaption, QKeySequence(Qt::CTRL | Qt::Key_L),
            &TRecordTrendPanel::RecordClick);
    command(TrendAction, "TrendAction", QStringLiteral("Тренд"), QKeySequence(Qt::CTRL | Qt::Key_T),
            &TRecordTrendPanel::TrendClick);
    connect(RecordLMDButton, &QPushButton::clicked, RecordAction, &QAction::trigger);
    connect(TrendLMDButton, &QPushButton::clicked, TrendAction, &QAction::trigger);
}

void TRecordTrendPanel::RecordClick()
{
    if (host_.DiscoveryRunning) return;
    const THandlerScope handler(host_.HandlerBusy);
    if (!handler.Entered()) return;
    if (recorder_.Recording())
        StopRecording();
    else
        StartRecording();
}

void TRecordTrendPanel::StartRecording()
{
    if (host_.ModuleState != kModuleOpen) {
        ShowMessageBox(kNoModuleText, kAttentionCaption, TDialogKind::Information);
        return;
    }
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
    const QString suggested =
        SuggestedRecordPath(folder, Utf8(FieldText(host_.ModuleRecord.ModuleSerial)), QDateTime::currentDateTime());
    const QString path = AskSaveFileName(QStringLiteral("Запись измерений в файл"), suggested,
                                         QStringLiteral("Файлы CSV (*.csv);;Все файлы (*)"));
    if (path.isEmpty()) return;
    bool replace = false;
    if (QFileInfo::exists(path)) {
        TModalRequest ask;
        ask.Caption = kAttentionCaption;
        ask.Text = QStringLiteral("Файл уже существует!\n%1\nЗаменить его?").arg(path);
        ask.Kind = TDialogKind::Confirmation;
        ask.Buttons = QMessageBox::Yes | QMessageBox::No;
        if (ShowModal(ask) != QMessageBox::Yes) return;
        replace = true;
    }
    if (!recorder_.Start(QFile::encodeName(path).toStdString(), host_.DescribeRun(), replace)) {
        ShowMessageBox(QStringLiteral("Не могу создать файл записи!!!\n%1\nПричина: %2.")
                           .arg(path, ReasonOf(recorder_.ErrorNumber())),
                       QStringLiteral("Ошибка StartRecording()!!!"), TDialogKind::Error);
        return;
    }
    ShowRecordState();
}

void TRecordTrendPanel::StopRecording()
{
    recorder_.Stop();
    ShowRecordState();
}

void TRecordTrendPanel::EndRecording(const QString& text, const QString& caption, int kind)
{
    recorder_.Stop();
    ShowRecordState();
    // A hand-off of the measurement may be under way: the message waits for it.
    QTimer::singleShot(0, this, [text, caption, kind] {
        ShowMessageBox(text, caption, static_cast<TDialogKind>(kind));
    });
}

void TRecordTrendPanel::TrendClick()
{
    if (host_.HandlerBusy || host_.DiscoveryRunning) return;
    // The same command in the trend window itself closes it.
    if (trend_ && trend_->isActiveWindow()) {
        trend_->close();
        return;
    }
    if (!trend_) {
        TTrendWindow::TSources sources;
        sources.History = &history_;
        sources.Limits = &limits_;
        sources.Statistics = &statistics_;
        sources.View = &trendView_;
        sources.ResetStatistics = [this] {
            statistics_.Reset();
            limits_.ResetCounts();
        };
        sources.Run = [this] { return run_; };
        trend_ = new TTrendWindow(std::move(sources), &host_.Window);
        trend_->addAction(TrendAction);
    }
    trend_->show();
    trend_->raise();
    trend_->activateWindow();
}

void TRecordTrendPanel::FollowRun(const TCycleResult& cycle)
{
    if (cycle.Index != 0 && haveRun_) return;
    TRunDescription run = host_.DescribeRun();
    const bool changed = haveRun_ && !SameRun(run, run_);
    run_ = std::move(run);
    haveRun_ = true;
    if (cycle.Index == 0) {
        statistics_.Reset();
        limits_.ResetCounts();
    }
    if (changed) history_.NewTrace();
    if (recorder_.Recording() && !SameRun(recorder_.Run(), run_))
        EndRecording(QStringLiteral("Изменились параметры измерения!!!\n%1\nЗапись в файл остановлена, "
                                    "записанные строки сохранены.")
                         .arg(Utf8(recorder_.Path())),
                     kAttentionCaption, static_cast<int>(TDialogKind::Information));
}

void TRecordTrendPanel::CycleShown(const TCycleResult& cycle)
{
    FollowRun(cycle);
    statistics_.Add(cycle);
    if (recorder_.Recording()) {
        if (!recorder_.Add(cycle)) {
            const int error = recorder_.ErrorNumber();
            EndRecording(QStringLiteral("Не могу записать данные в файл!!!\n%1\nПричина: %2.\n"
                                        "Запись остановлена, записанные строки сохранены.")
                             .arg(Utf8(recorder_.Path()), ReasonOf(error)),
                         QStringLiteral("Ошибка RecordCycle()!!!"), static_cast<int>(TDialogKind::Error));
        }
        ShowRecordState();
    }
    history_.Add(cycle);
    limits_.Add(cycle);
}

void TRecordTrendPanel::ShowRecordState()
{
    const bool on = recorder_.Recording();
    RecordStatusLed->setOnColor(QColor(255, 0, 0));
    RecordStatusLed->setOffColor(palette().color(QPalette::Button));
    RecordStatusLed->setLit(on);
    RecordStatusLed->setToolTip(on ? QStringLiteral("Идёт запись в файл") : QStringLiteral("Запись не ведётся"));
    RecordLMDButton->setText(on ? kStopRecordCaption : kRecordCaption);
    RecordLMDButton->setAccessibleName(RecordLMDButton->text());
    const QString path = Utf8(recorder_.Path());
    const QString name = recorder_.Path().empty() ? QStringLiteral("---") : QFileInfo(path).fileName();
    RecordFileLMDLabel->setText(RecordFileLMDLabel->fontMetrics().elidedText(name, Qt::ElideMiddle,
                                                                             RecordFileLMDLabel->width() - 8));
    RecordFileLMDLabel->setToolTip(path);
    RecordRowsLMDLabel->setText(QString::number(recorder_.Rows()));
    RecordRowsLMDLabel->setToolTip(QStringLiteral("Записано строк: %1").arg(recorder_.Rows()));
}

} // namespace ksv
