// Loading the settings into the window: the rate, the acquisition time, the
// auto-save and group boxes, and each slot frame's caption, unit, pins,
// check box, values and lamps by the mezzanine it holds.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "FormControls.h"
#include "SettingsWindowSupport.h"
#include "TLed.h"

namespace {

using ksv::test::Ini;
using ksv::test::Put;
using ksv::test::Slurp;
using ksv::test::TSettingsWindow;
using SettingsWindowLoad = TSettingsWindow;

constexpr std::array<const char*, 8> kEveryKind{"U10", "I5", "R100", "T", "X1", "EMPTY", "U01", "I20"};
constexpr std::array<const char*, 8> kAllVoltage{"U10", "U10", "U10", "U10", "U10", "U10", "U10", "U10"};

QStringList PinTexts(const ksv::TKsv27AdcChannelFrame& f)
{
    QStringList texts;
    for (const QLabel* l : {f.Pin1PlusNameLMDLabel, f.Pin1PlusNumberLMDLabel, f.Pin1MinusNameLMDLabel,
                            f.Pin1MinusNumberLMDLabel, f.Pin2PlusNameLMDLabel, f.Pin2PlusNumberLMDLabel,
                            f.Pin2MinusNameLMDLabel, f.Pin2MinusNumberLMDLabel})
        texts << l->text();
    return texts;
}

std::array<bool, 8> Checked(TMainForm& w)
{
    std::array<bool, 8> checked{};
    for (std::size_t s = 0; s < 8; ++s) checked[s] = w.SlotFrames()[s]->SlotNumberLMDCheckBox->isChecked();
    return checked;
}

TEST_F(SettingsWindowLoad, FreshDefaultsEnableEveryFittedSlotAndShowItsMezzanine)
{
    Fit(kEveryKind);
    Quietly([&] {
        FORM_UI(Window, AutoSaveSettingsLMDCheckBox)->setChecked(true);
        for (QLabel* l : {Frame(4).Pin1PlusNameLMDLabel, Frame(4).Pin2MinusNumberLMDLabel}) l->setText("kept");
        for (ksv::TKsv27AdcChannelFrame* f : Window->SlotFrames()) {
            f->Value1LMDEdit->setText("1.000");
            f->Value2LMDEdit->setText("2.000");
            f->SetChannelLamp(1, ksv::TKsv27AdcChannelFrame::kLampUpdated);
            f->SetChannelLamp(2, ksv::TKsv27AdcChannelFrame::kLampUpdated);
        }
    });
    ASSERT_TRUE(Window->Settings().CreateDefaultIniFile(Path));
    EXPECT_NE(Window->SettingsIniFile(), nullptr);
    ksv::TIniFile ini(Path);
    ASSERT_TRUE(Window->Settings().LoadSettings(&ini));
    EXPECT_TRUE(Shown.empty()) << Texts().join('|').toStdString();

    EXPECT_FALSE(FORM_UI(Window, AutoSaveSettingsLMDCheckBox)->isChecked());
    EXPECT_TRUE(FORM_UI(Window, SaveSettingsButton)->isEnabled());
    EXPECT_EQ(FORM_UI(Window, AdcRateLMDComboBox)->currentIndex(), 0);
    EXPECT_DOUBLE_EQ(Window->AcquisitionTime(), 1.0);
    EXPECT_EQ(FORM_UI(Window, AllSlotsLMDCheckBox)->checkState(), Qt::Checked);
    EXPECT_FALSE(Window->HandlerBusy);
    EXPECT_EQ(Checked(*Window), (std::array<bool, 8>{true, true, true, true, true, false, true, true}));

    struct TRow {
        const char* Caption;
        const char* Unit;
        QStringList Pins;
    };
    const TRow rows[8] = {
        {"MZ8U10 (S/N S0)", "Напряжение, мВ", {"+U1", "37", "-U1", "19", "+U2", "36", "-U2", "18"}},
        {"MZ8I5 (S/N S1)", "Сила тока, мА", {"+I3", "35", "-I3", "17", "+I4", "34", "-I4", "16"}},
        {"MZ8R100 (S/N S2)", "Сопротивление, Ом", {"+I5", "15", "-I5", "33", "+U5", "32", "-U5", "14"}},
        {"MZ8T (S/N S3)", "Напряжение, мВ", {"+U7", "31", "-U7", "13", "+U8", "30", "-U8", "12"}},
        {"MZ8X1 (S/N S4)", "????????????", {"kept", "--", "--", "--", "--", "--", "--", "kept"}},
        {"Пустой", "????????????", {"--", "--", "--", "--", "--", "--", "--", "--"}},
        {"MZ8U01 (S/N S6)", "Напряжение, мВ", {"+U13", "25", "-U13", "7", "+U14", "24", "-U14", "6"}},
        {"MZ8I20 (S/N S7)", "Сила тока, мА", {"+I15", "23", "-I15", "5", "+I16", "22", "-I16", "4"}},
    };
    for (std::size_t s = 0; s < 8; ++s) {
        SCOPED_TRACE(s);
        const ksv::TKsv27AdcChannelFrame& f = Frame(s);
        EXPECT_EQ(f.MezzaninenameLMDLabel->text(), QString::fromUtf8(rows[s].Caption));
        EXPECT_EQ(f.ValuesLabLMDLabel->text(), QString::fromUtf8(rows[s].Unit));
        EXPECT_EQ(PinTexts(f), rows[s].Pins);
        EXPECT_EQ(f.Value1LMDEdit->text(), "--------");
        EXPECT_EQ(f.Value2LMDEdit->text(), "--------");
        EXPECT_FALSE(f.FlashLed1->isLit());
        EXPECT_FALSE(f.FlashLed2->isLit());
        // The slots' change handlers did not run: their controls stay as
        // construction left them, for the discovery to enable.
        EXPECT_TRUE(f.Value1LMDEdit->testAttribute(Qt::WA_ForceDisabled));
    }
}

TEST_F(SettingsWindowLoad, GroupFlagOffTakesTheSlotKeysOfFittedSlotsOnly)
{
    // The fresh file's slot keys: fitted slots 7 and 8 off, so the group is grayed.
    Fit(kAllVoltage);
    ASSERT_TRUE(Window->Settings().CreateDefaultIniFile(Path));
    Window->SettingsIniFile()->WriteBool("Модуль KSV27", "Групповое управление слотами", false);
    ASSERT_TRUE(Window->Settings().LoadModuleSettings(Window->SettingsIniFile().get()));
    EXPECT_EQ(Checked(*Window), (std::array<bool, 8>{true, true, true, true, true, true, false, false}));
    EXPECT_EQ(FORM_UI(Window, AllSlotsLMDCheckBox)->checkState(), Qt::PartiallyChecked);

    // No slot keys at all: each fitted slot takes the reading default, on.
    ASSERT_TRUE(LoadLines({"[Модуль KSV27]", "Групповое управление слотами=0"}));
    EXPECT_EQ(Checked(*Window), (std::array<bool, 8>{true, true, true, true, true, true, true, true}));
    EXPECT_EQ(FORM_UI(Window, AllSlotsLMDCheckBox)->checkState(), Qt::Checked);

    // An unknown kind still reads its key; a slot without a mezzanine never
    // does and is shown empty.
    Fit({"X1", "UDEF", "U10", "EMPTY", "EMPTY", "EMPTY", "EMPTY", "X1"});
    ASSERT_TRUE(LoadLines({"[Модуль KSV27]", "Групповое управление слотами=0", "Управление слотом 1=0",
                           "Управление слотом 2=1", "Управление слотом 3=0", "Управление слотом 8=1"}));
    EXPECT_EQ(Checked(*Window), (std::array<bool, 8>{false, false, false, false, false, false, false, true}));
    EXPECT_EQ(FORM_UI(Window, AllSlotsLMDCheckBox)->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(Frame(1).MezzaninenameLMDLabel->text(), "Пустой");
    EXPECT_EQ(Frame(1).ValuesLabLMDLabel->text(), "????????????");
    EXPECT_EQ(PinTexts(Frame(1)), QStringList(8, "--"));
    EXPECT_EQ(Frame(0).ValuesLabLMDLabel->text(), "????????????");

    // Group on: every fitted slot on, whatever its key says.
    ASSERT_TRUE(LoadLines({"[Модуль KSV27]", "Групповое управление слотами=1", "Управление слотом 1=0"}));
    EXPECT_EQ(Checked(*Window), (std::array<bool, 8>{true, false, true, false, false, false, false, true}));
    EXPECT_EQ(FORM_UI(Window, AllSlotsLMDCheckBox)->checkState(), Qt::Checked);
}

TEST_F(SettingsWindowLoad, NoFittedSlotLeavesTheGroupBoxAsTheFileSetIt)
{
    Fit({"EMPTY", "UDEF", "EMPTY", "EMPTY", "EMPTY", "EMPTY", "EMPTY", "EMPTY"});
    for (const bool group : {false, true}) {
        ASSERT_TRUE(LoadLines({"[Модуль KSV27]", group ? "Групповое управление слотами=1"
                                                       : "Групповое управление слотами=0"}));
        EXPECT_EQ(FORM_UI(Window, AllSlotsLMDCheckBox)->checkState(), group ? Qt::Checked : Qt::Unchecked);
        EXPECT_EQ(Checked(*Window), (std::array<bool, 8>{}));
    }
}

TEST_F(SettingsWindowLoad, RateIndexOutsideTheTableSelectsNoRate)
{
    Fit(kAllVoltage);
    // clang-format off
    const struct {
        const char* Line;
        int Index;
    } rows[] = {{"Индекс частоты опроса=7", 7}, {"Индекс частоты опроса=9", -1}, {"Индекс частоты опроса=0x3", 3},
                {"Индекс частоты опроса=8", -1}, {"Индекс частоты опроса=abc", 0}, {"Индекс частоты опроса=-1", -1}};
    // clang-format on
    for (const auto& row : rows) {
        ASSERT_TRUE(LoadLines({"[Модуль KSV27]", row.Line, "Mаксимальное время сбора данных, с=0,5"}));
        EXPECT_EQ(FORM_UI(Window, AdcRateLMDComboBox)->currentIndex(), row.Index) << row.Line;
        EXPECT_DOUBLE_EQ(Window->AcquisitionTime(), 1.0);
    }
    ASSERT_TRUE(LoadLines({"[Модуль KSV27]", "Mаксимальное время сбора данных, с=2.5"}));
    EXPECT_DOUBLE_EQ(Window->AcquisitionTime(), 2.5);
}

TEST_F(SettingsWindowLoad, AutoSaveFlagSetsTheSaveButtonAndAGuardHeldByTheCallerIsKept)
{
    Fit(kAllVoltage);
    EXPECT_FALSE(Window->Settings().LoadSettings(nullptr));
    EXPECT_FALSE(Window->Settings().LoadModuleSettings(nullptr));

    ASSERT_TRUE(LoadLines({"[Приложение. Общие]", "Сохранение настроек=2"}));
    EXPECT_TRUE(FORM_UI(Window, AutoSaveSettingsLMDCheckBox)->isChecked());
    EXPECT_FALSE(FORM_UI(Window, SaveSettingsButton)->isEnabled());
    ASSERT_TRUE(LoadLines({"[Приложение. Общие]", "Сохранение настроек=0"}));
    EXPECT_FALSE(FORM_UI(Window, AutoSaveSettingsLMDCheckBox)->isChecked());
    EXPECT_TRUE(FORM_UI(Window, SaveSettingsButton)->isEnabled());

    ksv::TIniFile ini(Path);
    Window->HandlerBusy = true;
    ASSERT_TRUE(Window->Settings().LoadModuleSettings(&ini));
    EXPECT_TRUE(Window->HandlerBusy);
}

} // namespace
