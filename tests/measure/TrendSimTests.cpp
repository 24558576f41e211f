// The trend window against the simulated crate server, on signals that move:
// a large and a small level each with a slow wave on it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QPointer>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>

#include "MeasureCore.h"
#include "RecordTrendPanel.h"
#include "SimServerProcess.h"
#include "StripChart.h"
#include "TKsvApi.h"
#include "TrendWindow.h"
#include "WindowTestSupport.h"

namespace {

constexpr const char* kCrate = "KSV-T-0001";

constexpr const char* kScenario = R"json({
  "crates": [ { "serial": "KSV-T-0001", "slots": [
    { "slot": 1, "id": 6939, "name": "KSV27", "serial": "27T-0001", "firmware": "1.0.0.0",
      "mezzanines": [
        { "name": "U10", "serial": "T1", "channels": [ { "dc": 9.5, "amplitude": 0.002, "frequency": 0.7 },
                                                       { "dc": 0.0125, "amplitude": 0.0005, "frequency": 0.4,
                                                         "noise": 0.0001, "seed": 3 } ] },
        { "name": "EMPTY" }, { "name": "EMPTY" }, { "name": "EMPTY" },
        { "name": "EMPTY" }, { "name": "EMPTY" }, { "name": "EMPTY" }, { "name": "EMPTY" }
      ] } ] } ]
})json";

class TrendSimTest : public ksv::test::TSimModuleFixture {
protected:
    const std::string path = ::testing::TempDir() + "ksv_trend_" + std::to_string(::getpid());

    static void SetUpTestSuite() { StartServer(kScenario); }

    void SetUp() override
    {
        ASSERT_TRUE(server && server->Running()) << (server ? server->Error() : std::string());
        TMeasureWindowFixture::SetUp();
        OpenSimModule(kCrate, 0.1);
        if (HasFatalFailure()) return;
        // A file dialog is answered with `path` and the suffix asked for, or
        // with the bare path and the file type in `chosenType`.
        ksv::SetModalHandler([this](const ksv::TModalRequest& r) {
            if (r.ChosenFile) {
                *r.ChosenFile = QString::fromStdString(path);
                if (chosenType.isEmpty()) *r.ChosenFile += u'.' + QFileInfo(r.Text).suffix();
                if (r.ChosenFilter) *r.ChosenFilter = chosenType;
                return 1;
            }
            shown.push_back(r);
            return static_cast<int>(QMessageBox::Ok);
        });
    }
    void TearDown() override
    {
        TSimModuleFixture::TearDown();
        for (const char* suffix : {".csv", ".png", ".svg"}) std::remove((path + suffix).c_str());
    }

    QString chosenType;

    ksv::TRecordTrendPanel& Panel() { return *window->RecordTrendPanel; }
    ksv::TTrendWindow* OpenTrend()
    {
        Panel().TrendClick();
        return Panel().Trend();
    }
    bool WaitCycles(std::size_t more)
    {
        const std::size_t until = Panel().History().Channel(0).Size() + more;
        return WaitUntil([&] { return Panel().History().Channel(0).Size() >= until; });
    }
    static std::string Read(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(TrendSimTest, EachChannelFillsItsOwnStripHidingAndLimitsAct)
{
    ksv::TTrendWindow* trend = OpenTrend();
    ClickStart();
    ASSERT_TRUE(WaitCycles(12));
    trend->Refresh();
    ksv::TStripChart& chart = *trend->Chart;
    ASSERT_EQ(chart.StripCount(), 2);
    for (int strip = 0; strip < 2; ++strip) {
        const auto [low, high] = chart.ValueRange(strip);
        const auto [dataLow, dataHigh] = chart.DataRange(strip);
        EXPECT_GT((dataHigh - dataLow) / (high - low), 0.8) << strip; // a millivolt swing fills the strip
        EXPECT_LT(dataHigh - dataLow, 5.0) << strip;
    }
    EXPECT_GT(chart.DataRange(0).first, 9000.0);
    EXPECT_LT(chart.DataRange(1).second, 20.0);

    // Unchecking a row takes its trace away; the other channel keeps its strip.
    QTableWidget* table = trend->StatisticsTable;
    table->item(1, 0)->setCheckState(Qt::Unchecked);
    ASSERT_EQ(chart.StripCount(), 1);
    EXPECT_TRUE(chart.Draws(0));
    EXPECT_FALSE(chart.Draws(1));

    // An upper limit on the wave's middle: crossed, counted, the row marked.
    table->item(0, 10)->setText(QStringLiteral("9500,0"));
    ASSERT_EQ(Panel().Limits().Channel(0).Upper, 9500.0);
    ASSERT_TRUE(WaitUntil([&] { return Panel().Limits().Channel(0).Crossings >= 1 && Panel().Limits().Channel(0).Outside; }));
    trend->Refresh();
    EXPECT_EQ(table->item(0, 11)->text(), QString::number(Panel().Limits().Channel(0).Crossings));
    EXPECT_NE(table->item(0, 3)->background(), QBrush());
    EXPECT_EQ(table->item(1, 3)->background(), QBrush());
    // Refused limits keep the old ones and say why, beside the table and in the cell.
    const struct {
        int column;
        const char* text;
        const char* reason;
    } refused[] = {{10, "no", "не число"}, {9, "9600", "выше верхнего"}};
    for (const auto& r : refused) {
        table->item(0, r.column)->setText(QString::fromUtf8(r.text));
        EXPECT_EQ(Panel().Limits().Channel(0).Upper, 9500.0) << r.text;
        EXPECT_FALSE(Panel().Limits().Channel(0).Lower) << r.text;
        EXPECT_TRUE(trend->LimitMessage->text().contains(QString::fromUtf8(r.reason))) << r.text;
        EXPECT_EQ(table->item(0, r.column)->toolTip(), trend->LimitMessage->text());
    }
    EXPECT_TRUE(shown.empty());

    // A limit near the data joins the automatic scale; one far off does not
    // squeeze the trace (it is marked at the edge).
    const double dataLow = chart.DataRange(0).first;
    table->item(0, 9)->setText(QString::number(dataLow - 2.0));
    EXPECT_LT(chart.ValueRange(0).first, dataLow - 2.0);
    EXPECT_TRUE(trend->LimitMessage->isHidden());
    table->item(0, 9)->setText(QStringLiteral("0"));
    EXPECT_GT(chart.ValueRange(0).first, 9000.0);
}

TEST_F(TrendSimTest, PauseHoldsTheViewTheHistoryOutlivesTheWindowAndExportsWriteWhatIsShown)
{
    QPointer<ksv::TTrendWindow> trend = OpenTrend();
    ClickStart();
    ASSERT_TRUE(WaitCycles(6));
    trend->Refresh();
    trend->PauseButton->click();
    const auto view = trend->Chart->TimeRange();
    const double newest = Panel().History().LastMs();
    ASSERT_TRUE(WaitCycles(4));
    trend->Refresh();
    EXPECT_EQ(trend->Chart->TimeRange(), view);
    EXPECT_GT(Panel().History().LastMs(), newest);

    // Hovering reads both channels at the pointer.
    trend->Chart->PointAt(QPoint(static_cast<int>(trend->Chart->XOf(newest)), trend->Chart->height() / 4));
    EXPECT_TRUE(trend->Chart->CursorText().contains(QStringLiteral("Канал 1: 9"))) << trend->Chart->CursorText().toStdString();
    EXPECT_TRUE(trend->Chart->CursorText().contains(QStringLiteral("Канал 2: 1")));
    EXPECT_EQ(trend->CursorLabel->text(), trend->Chart->CursorText());

    // The CSV holds every cycle of the paused view with the history's values.
    trend->ExportCsv();
    const std::string csv = Read(path + ".csv");
    std::size_t rows = 0;
    const ksv::TTrendRing& ring = Panel().History().Channel(0);
    for (std::size_t i = 0; i < ring.Size(); ++i)
        if (ring.At(i).TimeMs >= view.first && ring.At(i).TimeMs <= view.second) {
            ++rows;
            EXPECT_NE(csv.find(',' + ksv::FormatFixed(ring.At(i).Value, 3) + ','), std::string::npos) << i;
        }
    EXPECT_GT(rows, 5u);
    EXPECT_EQ(static_cast<std::size_t>(std::count(csv.begin(), csv.end(), '\n')), rows + 11); // '#' lines, names
    trend->ExportPicture();
    EXPECT_EQ(Read(path + ".png").substr(1, 3), "PNG");
    std::remove((path + ".png").c_str());
    // The file type chosen gives a name typed without a suffix its own.
    chosenType = QStringLiteral("Рисунок SVG (*.svg)");
    trend->ExportPicture();
    EXPECT_EQ(Read(path + ".svg").substr(0, 5), "<?xml");
    chosenType.clear();
    const QByteArray svg = trend->Chart->ToSvg();
    EXPECT_TRUE(svg.startsWith("<?xml") && svg.contains("<polyline") && svg.endsWith("</svg>\n"));

    // Closed, the trend costs no history: reopened, it shows from the first cycle.
    const double first = Panel().History().FirstMs();
    trend->close();
    ASSERT_TRUE(WaitUntil([&] { return trend.isNull(); }));
    ASSERT_TRUE(WaitCycles(3));
    trend = OpenTrend();
    trend->Refresh();
    EXPECT_TRUE(trend->Chart->Following());
    EXPECT_LE(trend->Chart->TimeRange().first, first);
    EXPECT_TRUE(trend->Chart->Draws(0));
    EXPECT_EQ(Panel().History().FirstMs(), first);
    EXPECT_TRUE(shown.empty());
}

} // namespace
