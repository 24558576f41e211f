// The measurement end to end against the simulated crate server: the real
// libraries, a module with known DC levels, and the server's faults.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QPointer>
#include <QTableWidget>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "FormControls.h"
#include "Ksv27mainform.h"
#include "Mainthread.h"
#include "MeasureMessages.h"
#include "RecordTrendPanel.h"
#include "SimServerProcess.h"
#include "TKsvApi.h"
#include "StripChart.h"
#include "TrendWindow.h"
#include "WindowTestSupport.h"

namespace {

namespace msg = ksv::msg;

constexpr const char* kCrate = "KSV-M-0001";

constexpr const char* kScenario = R"json({
  "crates": [ { "serial": "KSV-M-0001", "slots": [
    { "slot": 1, "id": 6939, "name": "KSV27", "serial": "27M-0001", "firmware": "1.2.3.4",
      "mezzanines": [
        { "name": "U10", "serial": "M1", "channels": [ { "dc": 0.5 }, { "dc": -0.25 } ] },
        { "name": "I5", "serial": "M2", "channels": [ { "dc": 0.25 }, { "dc": 1.0 } ] },
        { "name": "R100", "serial": "M3", "channels": [ { "dc": 100.0 }, { "dc": 0.3 } ] },
        { "name": "T", "serial": "M4", "channels": [ { "dc": 2.5 }, { "dc": -4.0 } ] },
        { "name": "U20", "serial": "M5", "channels": [ { "dc": 1.5 }, { "dc": 0.001 } ] },
        { "name": "EMPTY" },
        { "name": "I10", "serial": "M7", "coefs": [0.5, 2.0, 0.0, 1.0],
          "channels": [ { "dc": 3.25 }, { "dc": -2.5 } ] },
        { "name": "UDEF" }
      ] } ] } ]
})json";

class MeasureSimTest : public ksv::test::TSimModuleFixture {
protected:
    static void SetUpTestSuite() { StartServer(kScenario); }

    void SetUp() override
    {
        ASSERT_TRUE(server && server->Running()) << (server ? server->Error() : std::string());
        ASSERT_TRUE(server->Control("clear"));
        TMeasureWindowFixture::SetUp();
        OpenSimModule(kCrate, 0.2);
    }

    void TearDown() override
    {
        TSimModuleFixture::TearDown();
        if (server) server->Control("clear");
    }

    void Fault(const std::string& op, const std::string& mode)
    {
        ASSERT_TRUE(server->Control(std::string("fault crate=") + kCrate + " slot=1 " + op + "=" + mode));
    }
};

TEST_F(MeasureSimTest, ShowsTheConfiguredLevelsInEveryFittedCheckedSlot)
{
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return Value(0, 1) == "500.000"; })) << Value(0, 1).toStdString();
    EXPECT_EQ(Value(0, 2), "-250.000");
    EXPECT_EQ(Value(1, 1), "0.2500");
    EXPECT_EQ(Value(1, 2), "1.0000");
    EXPECT_EQ(Value(2, 1), "100.000");
    EXPECT_EQ(Value(2, 2), "--------");
    EXPECT_EQ(Value(3, 1), "2.500");
    EXPECT_EQ(Value(3, 2), "-4.000");
    EXPECT_EQ(Value(4, 1), "1500.000");
    EXPECT_EQ(Value(4, 2), "1.000");
    // Its description's coefficients went to the module: the raw codes of
    // this slot read right only with them.
    EXPECT_EQ(Value(6, 1), "3.2500");
    EXPECT_EQ(Value(6, 2), "-2.5000");
    ASSERT_TRUE(WaitUntil([&] { return LampLit(0, 1) && LampLit(6, 2); }));
    EXPECT_FALSE(LampLit(2, 2));
    EXPECT_TRUE(shown.empty());

    ClickStart();
    EXPECT_EQ(MainThread, nullptr);
    EXPECT_EQ(Value(0, 1), "500.000");
    EXPECT_EQ(FORM_UI(window, StartMultimeterLMDSpeedButton)->text(), QStringLiteral("С   Т   А   Р   Т"));
}

TEST_F(MeasureSimTest, EscapeAndASlotChangeStopTheRun)
{
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return Value(0, 1) == "500.000"; }));
    window->EscapeKeyPressed();
    EXPECT_EQ(MainThread, nullptr);
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return FORM_UI(window, StartMultimeterLMDSpeedButton)->text() == QStringLiteral("С   Т   О   П"); }));
    window->SlotFrames()[4]->SlotNumberLMDCheckBox->click();
    EXPECT_EQ(MainThread, nullptr);
    EXPECT_EQ(Value(4, 1), "--------");
    EXPECT_TRUE(shown.empty());
}

struct TSimFault {
    const char* name;
    const char* op;
    const char* mode;
    const char* message;
};

class MeasureSimFaultTest : public MeasureSimTest, public ::testing::WithParamInterface<TSimFault> {};

TEST_P(MeasureSimFaultTest, ShowsItsMessageOnceAndTheNextRunWorks)
{
    const TSimFault& f = GetParam();
    Fault(f.op, f.mode);
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return !shown.empty() && window->AcquisitionIdle; })) << f.name;
    ksv::SleepAndProcessMessages(200);
    EXPECT_EQ(Texts(), QStringList{QString::fromUtf8(f.message)}) << f.name;
    EXPECT_FALSE(FORM_UI(window, StartMultimeterLMDSpeedButton)->isChecked());

    ASSERT_TRUE(server->Control("clear"));
    ClickStart();
    EXPECT_TRUE(WaitUntil([&] { return Value(0, 1) == "500.000"; })) << f.name;
    ClickStart();
    EXPECT_EQ(shown.size(), 1u) << f.name;
}

INSTANTIATE_TEST_SUITE_P(Faults, MeasureSimFaultTest,
                         ::testing::Values(TSimFault{"SetConfig", "setconfig", "fail", msg::kSetConfigFailed},
                                           TSimFault{"Start", "start", "fail", msg::kAdcStartFailed},
                                           TSimFault{"RecvError", "recv", "fail", msg::kRecvFailed},
                                           TSimFault{"RecvZero", "recv", "zero", msg::kRecvNothing},
                                           TSimFault{"RecvShort", "recv", "short", msg::kRecvWrongCount},
                                           TSimFault{"ProcessData", "processdata", "fail", msg::kProcessFailed},
                                           TSimFault{"Stop", "stop", "fail", msg::kConfigStopFailed}),
                         [](const ::testing::TestParamInfo<TSimFault>& info) { return std::string(info.param.name); });

// ---- recording and trend -------------------------------------------------------

class RecordTrendSimTest : public MeasureSimTest {
protected:
    const std::string path = ::testing::TempDir() + "ksv_window_record_" + std::to_string(::getpid()) + ".csv";
    QString suggested;
    int confirmAnswer = QMessageBox::No;

    ksv::TRecordTrendPanel& Panel() { return *window->RecordTrendPanel; }

    void SetUp() override
    {
        MeasureSimTest::SetUp();
        std::remove(path.c_str());
        // The file dialog is answered with `path`; a replace question with confirmAnswer.
        ksv::SetModalHandler([this](const ksv::TModalRequest& r) {
            if (r.ChosenFile) {
                suggested = r.Text;
                *r.ChosenFile = QString::fromStdString(path);
                return static_cast<int>(QDialog::Accepted);
            }
            shown.push_back(r);
            return r.Kind == ksv::TDialogKind::Confirmation ? confirmAnswer : static_cast<int>(QMessageBox::Ok);
        });
    }
    void TearDown() override
    {
        MeasureSimTest::TearDown();
        std::remove(path.c_str());
    }

    std::vector<std::string> FileLines() const
    {
        std::ifstream in(path, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    static std::vector<std::string> Cells(const std::string& row)
    {
        std::vector<std::string> cells;
        std::stringstream in(row);
        for (std::string cell; std::getline(in, cell, ',');) cells.push_back(cell);
        if (!row.empty() && row.back() == ',') cells.emplace_back();
        return cells;
    }
    // The sixteen cells a row must hold for what the window shows now.
    std::vector<std::string> ShownCells() const
    {
        std::vector<std::string> cells;
        for (int c = 0; c < 16; ++c) {
            const std::string text = Value(c / 2, c % 2 + 1).toStdString();
            cells.push_back(text == ksv::kNoValueText ? std::string() : text);
        }
        return cells;
    }
    bool Shown(const char* caption) const
    {
        return std::any_of(shown.begin(), shown.end(),
                           [&](const ksv::TModalRequest& r) { return r.Caption == QString::fromUtf8(caption); });
    }
};

TEST_F(RecordTrendSimTest, TheControlsCoverNothingAndTakeNoShortcutOfTheWindow)
{
    const QWidget* box = FORM_UI(window, AdcGroupParsLMDGroupBox);
    const QRect panel = Panel().geometry();
    EXPECT_TRUE(box->rect().contains(panel)) << panel.x() << "+" << panel.width() << " in " << box->width();
    for (const QWidget* other : box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (other != &Panel() && other->isVisibleTo(window.get())) {
            EXPECT_FALSE(other->geometry().intersects(panel)) << other->objectName().toStdString();
        }
    for (const QWidget* control : Panel().findChildren<QWidget*>())
        EXPECT_FALSE(control->accessibleName().isEmpty()) << control->objectName().toStdString();

    for (const QAction* own : {Panel().RecordAction, Panel().TrendAction}) {
        EXPECT_NE(own->shortcut(), QKeySequence(Qt::Key_Escape));
        for (const QAction* other : window->actions())
            if (other != own) {
                EXPECT_NE(other->shortcut(), own->shortcut()) << other->objectName().toStdString();
            }
    }
}

TEST_F(RecordTrendSimTest, RecordsTheShownCyclesAfterAskingAndNeverReplacesUnasked)
{
    window->ModuleState() = 0;
    Panel().RecordLMDButton->click();
    EXPECT_EQ(Texts(), QStringList{QStringLiteral("Нет открытого модуля! Поэтому данная опция не доступна!")});
    window->ModuleState() = 2;

    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return Value(0, 1) == "500.000"; }));
    {
        std::ofstream(path) << "keep\n";
    }
    Panel().RecordLMDButton->click(); // asks to replace; the answer is no
    EXPECT_FALSE(Panel().Recording());
    EXPECT_EQ(FileLines(), std::vector<std::string>{"keep"});
    EXPECT_TRUE(suggested.endsWith(QStringLiteral(".csv")) && suggested.contains(QStringLiteral("KSV27_27M-0001_")))
        << suggested.toStdString();

    confirmAnswer = QMessageBox::Yes;
    Panel().RecordLMDButton->click();
    ASSERT_TRUE(Panel().Recording());
    EXPECT_TRUE(Panel().RecordStatusLed->isLit());
    ASSERT_TRUE(WaitUntil([&] { return Panel().Recorder().Rows() >= 3; }));
    Panel().RecordLMDButton->click();
    EXPECT_FALSE(Panel().Recording());
    EXPECT_FALSE(Panel().RecordStatusLed->isLit());
    const std::uint64_t rows = Panel().Recorder().Rows();
    EXPECT_EQ(Panel().RecordRowsLMDLabel->text(), QString::number(rows));
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return !Panel().Recorder().Writing(); })); // the queued rows are written

    const std::vector<std::string> lines = FileLines();
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(lines[2], "# slot,0");
    EXPECT_EQ(lines[3], "# module,27M-0001");
    EXPECT_EQ(lines[5], "# rate_hz,1000");
    const auto columns = std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return l[0] != '#'; });
    ASSERT_NE(columns, lines.end());
    EXPECT_EQ(static_cast<std::uint64_t>(lines.end() - columns - 1), rows);
    for (auto row = columns + 1; row != lines.end(); ++row) {
        std::vector<std::string> cells = Cells(*row);
        ASSERT_EQ(cells.size(), 18u) << *row;
        EXPECT_EQ(std::vector<std::string>(cells.begin() + 2, cells.end()), ShownCells()) << *row;
    }
    ASSERT_EQ(Texts().size(), 3); // no module; replace? no; replace? yes
    EXPECT_TRUE(Texts()[2].contains(QStringLiteral("Заменить его?")));
}

TEST_F(RecordTrendSimTest, ARefusedWriteEndsTheRecordingOnlyAndKeepsEveryFinishedRow)
{
    Panel().RecordLMDButton->click(); // before START: the file gets its header
    ASSERT_TRUE(Panel().Recording());
    const std::uint64_t header = std::filesystem::file_size(path);
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return Panel().Recorder().Rows() >= 1; }));
    // Rows() counts queued rows too: size the limit from rows on the disk.
    Panel().Recorder().WaitUntilWritten();
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const std::uint64_t size = std::filesystem::file_size(path);
    const std::uint64_t rowBytes = (size - header) / Panel().Recorder().Rows();
    ASSERT_GT(rowBytes, 0u);
    rlimit limit = old;
    limit.rlim_cur = size + rowBytes * 3 / 2; // room for one more row and a half
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const bool ended = WaitUntil([&] { return Shown("Ошибка RecordCycle()!!!"); });
    setrlimit(RLIMIT_FSIZE, &old);
    ASSERT_TRUE(ended);

    EXPECT_FALSE(Panel().Recording());
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].Text.contains(QStringLiteral("превышен допустимый размер файла")));
    const std::uint64_t rows = Panel().Recorder().Rows();
    EXPECT_GE(rows, 2u);
    // The measurement goes on.
    EXPECT_NE(MainThread, nullptr);
    const std::uint64_t seen = Panel().Statistics().Channel(0).Summary().Count;
    EXPECT_TRUE(WaitUntil([&] { return Panel().Statistics().Channel(0).Summary().Count > seen; }));
    ClickStart();

    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.back(), '\n');
    const std::vector<std::string> lines = FileLines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l[0] != '#'; }),
              static_cast<long>(rows + 1));
    EXPECT_EQ(Cells(lines.back()).size(), 18u);
}

TEST_F(RecordTrendSimTest, TheTrendWindowShowsTheStatisticsOfTheLevelsAndGoesWhenClosed)
{
    Panel().TrendLMDButton->click();
    QPointer<ksv::TTrendWindow> trend = Panel().Trend();
    ASSERT_TRUE(trend && trend->isVisible());
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return Panel().Statistics().Channel(0).Summary().Count >= 3; }));
    ClickStart();
    trend->Refresh();

    const QTableWidget* table = trend->StatisticsTable;
    const auto cell = [&](int row, int column) { return table->item(row, column)->text(); };
    EXPECT_EQ(cell(0, 5), "500.000");  // mean, mV
    EXPECT_EQ(cell(0, 6), "0.000");    // spread of a steady level
    EXPECT_EQ(cell(1, 3), "-250.000"); // minimum
    EXPECT_EQ(cell(2, 5), "0.2500");   // mA
    EXPECT_EQ(cell(4, 7), "100.000");  // last, Ohm
    EXPECT_EQ(cell(4, 1), QStringLiteral("Ом"));
    EXPECT_TRUE(table->isRowHidden(5));  // a resistance slot's second channel has no value
    EXPECT_TRUE(table->isRowHidden(10)); // an empty slot
    EXPECT_EQ(cell(0, 2), QString::number(Panel().Statistics().Channel(0).Summary().Count));
    // One plot per unit when grouped: mV, mA, Ohm.
    trend->GroupByUnitCheckBox->click();
    EXPECT_EQ(trend->Chart->StripCount(), 3);
    EXPECT_EQ(trend->History().Channel(0).Size(), Panel().Statistics().Channel(0).Summary().Count);

    trend->ResetStatisticsButton->click();
    EXPECT_EQ(cell(0, 2), "0");
    trend->close();
    ASSERT_TRUE(WaitUntil([&] { return trend.isNull(); }));
    EXPECT_EQ(Panel().Trend(), nullptr);
    EXPECT_TRUE(shown.empty());
}

} // namespace
