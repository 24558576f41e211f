#include "TrendWindow.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStandardPaths>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cmath>

#include "MeasureCore.h"
#include "ModalDialogs.h"
#include "NamedButton.h"
#include "StripChart.h"
#include "TrendCsv.h"

namespace ksv {

namespace {

constexpr int kRefreshMs = 1000;
constexpr std::array<double, 5> kSpansMs = {60e3, 600e3, 3600e3, 8 * 3600e3, 0.0};
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
    kPeakToPeakColumn,
    kLowerColumn,
    kUpperColumn,
    kCrossingsColumn,
    kColumnCount
};

const QColor kOutsideRow(255, 205, 205);

QString Text(const std::string& text) { return QString::fromStdString(text); }

QTableWidgetItem* Cell(QTableWidget* table, int row, int column)
{
    QTableWidgetItem* item = table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (column == kLowerColumn || column == kUpperColumn) flags |= Qt::ItemIsEditable;
        if (column == kChannelColumn) flags |= Qt::ItemIsUserCheckable;
        item->setFlags(flags);
        item->setTextAlignment(column == kChannelColumn ? Qt::AlignLeft | Qt::AlignVCenter
                                                        : Qt::AlignRight | Qt::AlignVCenter);
        table->setItem(row, column, item);
    }
    return item;
}

void SetCell(QTableWidget* table, int row, int column, const QString& text)
{
    QTableWidgetItem* item = Cell(table, row, column);
    if (item->text() != text) item->setText(text);
}

QString LimitText(const std::optional<double>& limit, TChannelUnit unit)
{
    return limit ? Text(FormatFixed(*limit, ValueDecimals(unit))) : QString();
}

// The suffix a name filter such as "Рисунок SVG (*.svg)" stands for; empty
// for one that takes any name.
QString FilterSuffix(const QString& filter)
{
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("\\*\\.(\\w+)")).match(filter);
    return match.hasMatch() ? match.captured(1) : QString();
}

} // namespace

TTrendWindow::TTrendWindow(TSources sources, QWidget* parent) : QWidget(parent, Qt::Window), sources_(std::move(sources))
{
    setObjectName(QStringLiteral("TrendWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Тренд каналов"));
    setAccessibleName(QStringLiteral("Тренд каналов"));
    // It reopens at the size it had while the program runs.
    resize(sources_.View->Size.isValid() ? sources_.View->Size : QSize(1260, 720));
    auto* outer = new QVBoxLayout(this);
    CursorLabel = new QLabel(this);
    CursorLabel->setObjectName(QStringLiteral("TrendCursorLabel"));
    CursorLabel->setAccessibleName(QStringLiteral("Курсор"));
    CursorLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    CursorLabel->setMinimumWidth(100);
    CursorLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    BuildToolRow(outer);
    // The user moves the border between plots and table; the strips scroll
    // when they do not fit above it.
    Splitter = new QSplitter(Qt::Vertical, this);
    Splitter->setObjectName(QStringLiteral("TrendSplitter"));
    auto* scroll = new QScrollArea(Splitter);
    scroll->setObjectName(QStringLiteral("TrendChartScroll"));
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFrameShape(QFrame::NoFrame);
    Chart = new TStripChart(*sources_.History, *sources_.Limits, scroll);
    scroll->setWidget(Chart);
    scroll->setMinimumHeight(120);
    Splitter->addWidget(scroll);
    BuildTable();
    auto* tablePane = new QWidget(Splitter);
    auto* tableColumn = new QVBoxLayout(tablePane);
    tableColumn->setContentsMargins(0, 0, 0, 0);
    tableColumn->addWidget(StatisticsTable, 1);
    LimitMessage = new QLabel(tablePane);
    LimitMessage->setObjectName(QStringLiteral("TrendLimitMessage"));
    LimitMessage->setAccessibleName(QStringLiteral("Пределы"));
    LimitMessage->setStyleSheet(QStringLiteral("color: #c80000"));
    LimitMessage->setWordWrap(true);
    LimitMessage->hide();
    tableColumn->addWidget(LimitMessage);
    Splitter->addWidget(tablePane);
    Splitter->setStretchFactor(0, 1);
    Splitter->setStretchFactor(1, 0);
    Splitter->setChildrenCollapsible(false);
    if (!sources_.View->Splitter.isEmpty()) Splitter->restoreState(sources_.View->Splitter);
    outer->addWidget(Splitter, 1);
    connect(Chart, &TStripChart::CursorChanged, this, [this](const QString& text) {
        CursorLabel->setText(text.isEmpty() ? QStringLiteral("Наведите указатель на график, чтобы прочитать значения")
                                            : text);
        // A screen reader finds the label by its name and reads the values here.
        CursorLabel->setAccessibleDescription(CursorLabel->text());
    });
    emit Chart->CursorChanged(QString());
    connect(Chart, &TStripChart::FollowingChanged, this, &TTrendWindow::ShowFollowing);
    Chart->SetSpan(kSpansMs[static_cast<std::size_t>(sources_.View->Span)]);
    ShowFollowing(Chart->Following());
    refreshTimer_.setInterval(kRefreshMs);
    connect(&refreshTimer_, &QTimer::timeout, this, [this] { Refresh(); });
}

TTrendWindow::~TTrendWindow() = default;

// Closed by the user, the window keeps its size and the splitter's place for
// the next time (not from the destructor: the view state may be gone when
// the main window takes its children down).
void TTrendWindow::closeEvent(QCloseEvent* event)
{
    sources_.View->Size = size();
    sources_.View->Splitter = Splitter->saveState();
    QWidget::closeEvent(event);
}

// Two rows, so the window fits beside the main one: the view's controls;
// then the files, the cursor's reading, statistics reset and close.
void TTrendWindow::BuildToolRow(QVBoxLayout* outer)
{
    auto* row = new QHBoxLayout;
    BuildSpanChoice(row);
    BuildViewControls();
    QPushButton* close = BuildFileButtons();
    for (QWidget* w : std::initializer_list<QWidget*>{PauseButton, FollowButton, AutoScaleButton, GroupByUnitCheckBox})
        row->addWidget(w);
    row->addStretch(1);
    outer->addLayout(row);
    auto* second = new QHBoxLayout;
    second->addWidget(ExportPictureButton);
    second->addWidget(ExportCsvButton);
    second->addWidget(CursorLabel, 1);
    second->addWidget(ResetStatisticsButton);
    second->addWidget(close);
    outer->addLayout(second);
}

// The span list and its label, into the tool row.
void TTrendWindow::BuildSpanChoice(QHBoxLayout* row)
{
    auto* spanLabel = new QLabel(QStringLiteral("Интервал:"), this);
    row->addWidget(spanLabel);
    SpanComboBox = new QComboBox(this);
    SpanComboBox->setObjectName(QStringLiteral("TrendSpanComboBox"));
    SpanComboBox->setAccessibleName(QStringLiteral("Интервал тренда"));
    SpanComboBox->addItems({QStringLiteral("1 мин"), QStringLiteral("10 мин"), QStringLiteral("1 ч"),
                            QStringLiteral("8 ч"), QStringLiteral("Всё с начала")});
    SpanComboBox->setCurrentIndex(sources_.View->Span);
    spanLabel->setBuddy(SpanComboBox);
    connect(SpanComboBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0) return;
        sources_.View->Span = index;
        Chart->SetSpan(kSpansMs[static_cast<std::size_t>(index)]);
    });
    row->addWidget(SpanComboBox);
}

// Pause, Follow, auto scale and the one-scale-per-unit box.
void TTrendWindow::BuildViewControls()
{
    PauseButton = MakeNamedButton(this, "TrendPauseButton", QStringLiteral("Пауза"), QStringLiteral("Пауза тренда"),
                                  QStringLiteral("Остановить изображение; данные продолжают накапливаться"));
    FollowButton = MakeNamedButton(this, "TrendFollowButton", QStringLiteral("Следить"), QStringLiteral("Следить за новыми"),
                                   QStringLiteral("Вернуться к последнему циклу"));
    AutoScaleButton = MakeNamedButton(this, "TrendAutoScaleButton", QStringLiteral("Автомасштаб"),
                                      QStringLiteral("Автомасштаб"),
                                      QStringLiteral("Вернуть автоматические шкалы (также двойной щелчок по графику)"));
    connect(PauseButton, &QPushButton::clicked, this, [this] { Chart->SetFollowing(false); });
    // Following the newest cycle brings every strip back to its automatic
    // scale too, so no trace runs off a strip zoomed by hand.
    connect(FollowButton, &QPushButton::clicked, this, [this] {
        Chart->SetSpan(kSpansMs[static_cast<std::size_t>(sources_.View->Span)]);
        Chart->AutoScale();
    });
    connect(AutoScaleButton, &QPushButton::clicked, this, [this] { Chart->AutoScale(); });
    GroupByUnitCheckBox = new QCheckBox(QStringLiteral("Общая шкала для одной единицы"), this);
    GroupByUnitCheckBox->setObjectName(QStringLiteral("TrendGroupByUnitCheckBox"));
    GroupByUnitCheckBox->setAccessibleName(QStringLiteral("Общая шкала для каналов одной единицы"));
    GroupByUnitCheckBox->setChecked(sources_.View->GroupByUnit);
    connect(GroupByUnitCheckBox, &QCheckBox::toggled, this, &TTrendWindow::SetGroupByUnit);
}

// The export buttons, statistics reset and close; returns the close button.
QPushButton* TTrendWindow::BuildFileButtons()
{
    ExportPictureButton = MakeNamedButton(this, "TrendExportPictureButton", QStringLiteral("Рисунок..."),
                                          QStringLiteral("Сохранить рисунок графиков"),
                                          QStringLiteral("Сохранить графики в файл PNG или SVG"));
    ExportCsvButton = MakeNamedButton(this, "TrendExportCsvButton", QStringLiteral("CSV..."),
                                      QStringLiteral("Сохранить видимый участок в CSV"),
                                      QStringLiteral("Сохранить видимый участок тренда в файл CSV"));
    connect(ExportPictureButton, &QPushButton::clicked, this, &TTrendWindow::ExportPicture);
    connect(ExportCsvButton, &QPushButton::clicked, this, &TTrendWindow::ExportCsv);
    ResetStatisticsButton = MakeNamedButton(this, "ResetStatisticsButton", QStringLiteral("Сбросить статистику"),
                                            QStringLiteral("Сбросить статистику"),
                                            QStringLiteral("Начать статистику каналов и счёт выходов заново"));
    connect(ResetStatisticsButton, &QPushButton::clicked, this, [this] {
        if (sources_.ResetStatistics) sources_.ResetStatistics();
        UpdateTable();
    });
    auto* close = MakeNamedButton(this, "CloseTrendButton", QStringLiteral("Закрыть"), QStringLiteral("Закрыть тренд"),
                                  QString());
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    return close;
}

void TTrendWindow::BuildTable()
{
    StatisticsTable = new QTableWidget(kChannelCount, kColumnCount, this);
    StatisticsTable->setObjectName(QStringLiteral("StatisticsTable"));
    StatisticsTable->setAccessibleName(QStringLiteral("Статистика каналов"));
    StatisticsTable->setHorizontalHeaderLabels(
        {QStringLiteral("Канал"), QStringLiteral("Ед."), QStringLiteral("Число"), QStringLiteral("Мин."),
         QStringLiteral("Макс."), QStringLiteral("Среднее"), QStringLiteral("СКО"), QStringLiteral("Последнее"),
         QStringLiteral("Размах"), QStringLiteral("Нижний предел"), QStringLiteral("Верхний предел"),
         QStringLiteral("Выходы")});
    StatisticsTable->horizontalHeaderItem(kChannelColumn)->setToolTip(QStringLiteral("Флажок: показывать на графике"));
    StatisticsTable->horizontalHeaderItem(kLowerColumn)->setToolTip(QStringLiteral("Введите предел; пусто: нет"));
    StatisticsTable->horizontalHeaderItem(kUpperColumn)->setToolTip(QStringLiteral("Введите предел; пусто: нет"));
    StatisticsTable->horizontalHeaderItem(kCrossingsColumn)->setToolTip(QStringLiteral("Сколько раз значение выходило за пределы"));
    StatisticsTable->verticalHeader()->hide();
    StatisticsTable->verticalHeader()->setDefaultSectionSize(StatisticsTable->fontMetrics().height() + 6);
    StatisticsTable->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                     QAbstractItemView::AnyKeyPressed);
    StatisticsTable->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    StatisticsTable->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);
    columnWidths_.assign(kColumnCount, 0);
    connect(StatisticsTable, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (updatingTable_) return;
        if (item->column() == kChannelColumn) SetChannelShown(item->row(), item->checkState() == Qt::Checked);
        if (item->column() == kLowerColumn || item->column() == kUpperColumn) LimitEdited(item);
    });
    UpdateTable();
}

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
    if (History().TraceNumber() != builtTrace_ || builtTrace_ == ~std::uint64_t{0}) RebuildStrips();
    if (History().Revision() != drawnRevision_ && Chart->Following()) {
        Chart->Redraw();
        drawnRevision_ = History().Revision();
    }
    UpdateTable();
}

void TTrendWindow::RebuildStrips()
{
    std::vector<std::vector<int>> strips;
    const auto shown = [&](int c) { return History().Traced(c) && !sources_.View->Hidden[static_cast<std::size_t>(c)]; };
    if (sources_.View->GroupByUnit) {
        for (TChannelUnit unit : kUnits) {
            std::vector<int> channels;
            for (int c = 0; c < kChannelCount; ++c)
                if (shown(c) && History().Unit(c) == unit) channels.push_back(c);
            if (!channels.empty()) strips.push_back(std::move(channels));
        }
    } else {
        for (int c = 0; c < kChannelCount; ++c)
            if (shown(c)) strips.push_back({c});
    }
    Chart->SetStrips(std::move(strips));
    builtTrace_ = History().TraceNumber();
    drawnRevision_ = History().Revision();
    const bool any = !History().Empty();
    for (int c = 0; c < kChannelCount; ++c) StatisticsTable->setRowHidden(c, any && !History().Traced(c));
    FitTable();
}

void TTrendWindow::SetChannelShown(int channel, bool shown)
{
    sources_.View->Hidden[static_cast<std::size_t>(channel)] = !shown;
    RebuildStrips();
    UpdateTable();
}

void TTrendWindow::SetGroupByUnit(bool group)
{
    sources_.View->GroupByUnit = group;
    if (GroupByUnitCheckBox->isChecked() != group) GroupByUnitCheckBox->setChecked(group);
    RebuildStrips();
}

void TTrendWindow::ShowFollowing(bool following)
{
    PauseButton->setEnabled(following);
    FollowButton->setEnabled(!following);
    if (following) {
        Chart->Redraw();
        drawnRevision_ = History().Revision();
    }
}

// A limit typed into its cell. One that is no number, or that would put the
// lower limit above the upper, is refused: the cell keeps the limit it had
// and says why in its tooltip and under the table.
void TTrendWindow::LimitEdited(QTableWidgetItem* item)
{
    const int c = item->row();
    const TChannelLimit& old = sources_.Limits->Channel(c);
    std::optional<double> lower = old.Lower, upper = old.Upper;
    std::optional<double>& edited = item->column() == kLowerColumn ? lower : upper;
    const QString typed = item->text().trimmed();
    QString reason;
    if (!ParseLimit(typed.toStdString(), edited))
        reason = QStringLiteral("«%1» — не число: введите число (через точку или запятую) или оставьте пусто").arg(typed);
    else if (lower && upper && *lower > *upper)
        reason = QStringLiteral("нижний предел %1 выше верхнего %2")
                     .arg(LimitText(lower, History().Unit(c)), LimitText(upper, History().Unit(c)));
    if (!reason.isEmpty()) {
        QApplication::beep();
        reason = QStringLiteral("%1: предел не принят: %2").arg(ChannelCaption(c), reason);
    } else {
        sources_.Limits->Set(c, lower, upper);
        Chart->Redraw();
    }
    ShowLimitMessage(item, reason);
    UpdateTable();
}

void TTrendWindow::ShowLimitMessage(QTableWidgetItem* item, const QString& reason)
{
    updatingTable_ = true;
    item->setToolTip(reason.isEmpty() ? QStringLiteral("Введите предел; пусто: нет") : reason);
    updatingTable_ = false;
    LimitMessage->setText(reason);
    LimitMessage->setAccessibleDescription(reason);
    LimitMessage->setVisible(!reason.isEmpty());
}

void TTrendWindow::UpdateTable()
{
    updatingTable_ = true;
    const QFontMetrics metrics(StatisticsTable->font());
    for (int c = 0; c < kChannelCount; ++c) {
        const TChannelSummary s = sources_.Statistics->Channel(c).Summary();
        const TChannelLimit& limit = sources_.Limits->Channel(c);
        const TChannelUnit unit = History().Unit(c);
        const int decimals = ValueDecimals(unit);
        const auto number = [&](double value) {
            return s.Count ? Text(FormatFixed(value, decimals)) : QString::fromUtf8(kNoValueText);
        };
        const std::array<QString, kColumnCount> texts = {
            ChannelCaption(c), UnitCaption(unit), QString::number(s.Count),
            number(s.Min), number(s.Max), number(s.Mean),
            number(s.StdDev), number(s.Last), number(s.Max - s.Min),
            LimitText(limit.Lower, unit), LimitText(limit.Upper, unit), QString::number(limit.Crossings)};
        for (int column = 0; column < kColumnCount; ++column) {
            SetCell(StatisticsTable, c, column, texts[static_cast<std::size_t>(column)]);
            int& width = columnWidths_[static_cast<std::size_t>(column)];
            width = std::max(width, metrics.horizontalAdvance(texts[static_cast<std::size_t>(column)]) + 16);
        }
        QTableWidgetItem* name = Cell(StatisticsTable, c, kChannelColumn);
        const Qt::CheckState check = sources_.View->Hidden[static_cast<std::size_t>(c)] ? Qt::Unchecked : Qt::Checked;
        if (name->checkState() != check) name->setCheckState(check);
        if (name->foreground().color() != TraceColor(c)) name->setForeground(TraceColor(c));
        const QBrush back = limit.Outside ? QBrush(kOutsideRow) : QBrush();
        for (int column = 0; column < kColumnCount; ++column) {
            QTableWidgetItem* item = Cell(StatisticsTable, c, column);
            if (item->background() != back) item->setBackground(back);
        }
    }
    updatingTable_ = false;
    FitTable();
}

// The table as tall as its shown rows and its columns as wide as their
// widest text so far (they only grow, so nothing jumps at each update).
void TTrendWindow::FitTable()
{
    QHeaderView* header = StatisticsTable->horizontalHeader();
    for (int column = 0; column < kColumnCount; ++column) {
        const int width = std::max(columnWidths_[static_cast<std::size_t>(column)],
                                   header->fontMetrics().horizontalAdvance(
                                       StatisticsTable->horizontalHeaderItem(column)->text()) +
                                       18) +
                          (column == kChannelColumn ? 24 : 0);
        if (StatisticsTable->columnWidth(column) != width) StatisticsTable->setColumnWidth(column, width);
    }
    int rows = 0;
    for (int c = 0; c < kChannelCount; ++c) rows += StatisticsTable->isRowHidden(c) ? 0 : 1;
    const int height = header->height() + rows * StatisticsTable->verticalHeader()->defaultSectionSize() +
                       2 * StatisticsTable->frameWidth() +
                       (header->length() > StatisticsTable->viewport()->width()
                            ? StatisticsTable->horizontalScrollBar()->sizeHint().height()
                            : 0);
    if (StatisticsTable->maximumHeight() != height) {
        StatisticsTable->setMaximumHeight(height);
        // The whole table in view unless it would crowd the plots out; the
        // splitter may take it down to a few rows.
        const int few = header->height() + 3 * StatisticsTable->verticalHeader()->defaultSectionSize() +
                        2 * StatisticsTable->frameWidth();
        StatisticsTable->setMinimumHeight(std::min(height, few));
    }
}

QString TTrendWindow::AskPath(const QString& caption, const QString& suffix, const QString& filter)
{
    // A name typed without a suffix takes the one of the file type chosen.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
    QString serial = QString::fromStdString(sources_.Run ? sources_.Run().ModuleSerial : std::string());
    for (QChar& ch : serial)
        if (!((ch.isLetterOrNumber() && ch.unicode() < 128) || ch == u'-')) ch = u'_';
    if (serial.isEmpty()) serial = QStringLiteral("module");
    const QString name = QStringLiteral("KSV27_%1_trend_%2.%3")
                             .arg(serial, QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss")), suffix);
    QString chosenFilter;
    QString path = AskSaveFileName(caption, QDir(folder).filePath(name), filter, &chosenFilter);
    if (path.isEmpty()) return {};
    if (QFileInfo(path).suffix().isEmpty()) {
        const QString chosen = FilterSuffix(chosenFilter);
        path += u'.' + (chosen.isEmpty() ? suffix : chosen);
    }
    if (QFileInfo::exists(path)) {
        TModalRequest ask;
        ask.Caption = QStringLiteral("Внимание!!!");
        ask.Text = QStringLiteral("Файл уже существует!\n%1\nЗаменить его?").arg(path);
        ask.Kind = TDialogKind::Confirmation;
        ask.Buttons = QMessageBox::Yes | QMessageBox::No;
        if (ShowModal(ask) != QMessageBox::Yes) return {};
    }
    return path;
}

bool TTrendWindow::WriteFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) return true;
    ShowMessageBox(QStringLiteral("Не могу записать файл!!!\n%1\nПричина: %2.").arg(path, file.errorString()),
                   QStringLiteral("Ошибка сохранения!!!"), TDialogKind::Error);
    return false;
}

void TTrendWindow::ExportPicture()
{
    const QString path = AskPath(QStringLiteral("Сохранить рисунок графиков"), QStringLiteral("png"),
                                 QStringLiteral("Рисунок PNG (*.png);;Рисунок SVG (*.svg)"));
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().compare(QStringLiteral("svg"), Qt::CaseInsensitive) == 0) {
        WriteFile(path, Chart->ToSvg());
        return;
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    Chart->ToImage().save(&buffer, "PNG");
    WriteFile(path, png);
}

void TTrendWindow::ExportCsv()
{
    const QString path = AskPath(QStringLiteral("Сохранить видимый участок тренда"), QStringLiteral("csv"),
                                 QStringLiteral("Файлы CSV (*.csv);;Все файлы (*)"));
    if (path.isEmpty()) return;
    std::vector<int> channels;
    for (int strip = 0; strip < Chart->StripCount(); ++strip)
        for (int c : Chart->StripChannels(strip)) channels.push_back(c);
    std::sort(channels.begin(), channels.end());
    // The view may reach past the newest cycle (a span longer than the
    // trace): the file ends with the data shown.
    const auto [from, viewTo] = Chart->TimeRange();
    const double to = History().Empty() ? viewTo : std::max(from, std::min(viewTo, History().LastMs() + 1.0));
    const std::string csv = TrendCsv(History(), sources_.Run ? sources_.Run() : TRunDescription{}, channels, from, to);
    WriteFile(path, QByteArray::fromStdString(csv));
}

} // namespace ksv
