// The built-in tables as the window holds and shows them, and the
// arithmetic behind the window's size and the system classification.
#include <gtest/gtest.h>

#include <QComboBox>

#include "FormControls.h"
#include "Ksv27mainform.h"
#include "WindowGeometry.h"
#include "WindowsVersion.h"

namespace {

TEST(RateTable, ComboListsTheEightRatesAscendingAsTenCharacterTexts)
{
    TMainForm window;
    const QStringList expected = {QStringLiteral("       5.0"), QStringLiteral("      10.0"),
                                  QStringLiteral("      20.0"), QStringLiteral("      50.0"),
                                  QStringLiteral("     100.0"), QStringLiteral("     200.0"),
                                  QStringLiteral("     500.0"), QStringLiteral("    1000.0")};
    ASSERT_EQ(FORM_UI(window, AdcRateLMDComboBox)->count(), 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(FORM_UI(window, AdcRateLMDComboBox)->itemText(i), expected[i]) << "index " << i;
        EXPECT_EQ(FORM_UI(window, AdcRateLMDComboBox)->itemText(i).size(), 10);
    }
    EXPECT_EQ(FORM_UI(window, AdcRateLMDComboBox)->maxVisibleItems(), 8);
    EXPECT_FALSE(FORM_UI(window, AdcRateLMDComboBox)->isEditable());
}

TEST(RateTable, DivisorsAndRatesAgree)
{
    TMainForm window;
    const std::array<std::uint8_t, 8> divisors = {199, 99, 49, 19, 9, 4, 1, 0};
    const std::array<double, 8> rates = {5, 10, 20, 50, 100, 200, 500, 1000};
    EXPECT_EQ(window.AdcRateDivisors(), divisors);
    for (int i = 0; i < 8; ++i) {
        EXPECT_DOUBLE_EQ(window.AdcRatesHz()[i], rates[i]) << "index " << i;
        EXPECT_DOUBLE_EQ(window.AdcRatesHz()[i], 1000.0 / (window.AdcRateDivisors()[i] + 1));
        // The combo's text is the rate it stands for.
        EXPECT_DOUBLE_EQ(FORM_UI(window, AdcRateLMDComboBox)->itemText(i).trimmed().toDouble(), rates[i]);
    }
}

TEST(PinTables, VoltageAndCurrentTablesShareContactsAndDifferInNames)
{
    TMainForm window;
    const ksv::TPinTable& u = window.VoltagePinTable();
    const ksv::TPinTable& i = window.CurrentPinTable();
    EXPECT_EQ(u.PlusNames[15], "+U16");
    EXPECT_EQ(u.PlusContacts[15], "22");
    EXPECT_EQ(u.MinusNames[15], "-U16");
    EXPECT_EQ(u.MinusContacts[15], "4");
    EXPECT_EQ(u.PlusContacts[0], "37");
    EXPECT_EQ(u.MinusContacts[0], "19");
    EXPECT_EQ(i.PlusNames[0], "+I1");
    EXPECT_EQ(i.MinusNames[15], "-I16");
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(i.PlusContacts[k], u.PlusContacts[k]);
        EXPECT_EQ(i.MinusContacts[k], u.MinusContacts[k]);
        EXPECT_EQ(u.PlusContacts[k], std::to_string(37 - k));
        EXPECT_EQ(u.MinusContacts[k], std::to_string(19 - k));
    }
}

TEST(PinTables, ResistanceSlotEightDrivesCurrentAndSensesVoltage)
{
    TMainForm window;
    const ksv::TPinTexts pin1 = ksv::SlotPin(window.ResistancePinTable(), 7, 0);
    const ksv::TPinTexts pin2 = ksv::SlotPin(window.ResistancePinTable(), 7, 1);
    EXPECT_EQ(pin1.PlusName, "+I15");
    EXPECT_EQ(pin1.PlusContact, "5");
    EXPECT_EQ(pin1.MinusName, "-I15");
    EXPECT_EQ(pin1.MinusContact, "23");
    EXPECT_EQ(pin2.PlusName, "+U15");
    EXPECT_EQ(pin2.PlusContact, "22");
    EXPECT_EQ(pin2.MinusName, "-U15");
    EXPECT_EQ(pin2.MinusContact, "4");
    const ksv::TPinTexts first = ksv::SlotPin(window.ResistancePinTable(), 0, 0);
    EXPECT_EQ(first.PlusName, "+I1");
    EXPECT_EQ(first.PlusContact, "19");
    EXPECT_EQ(first.MinusContact, "37");
}

TEST(WindowsVersion, ClassificationTable)
{
    using ksv::TOsPlatform;
    struct Row {
        TOsPlatform Platform;
        unsigned Major, Minor;
        int Code;
    };
    const Row rows[] = {
        {TOsPlatform::Win32s, 3, 1, 1},
        {TOsPlatform::Windows9x, 4, 0, 2},
        {TOsPlatform::Windows9x, 4, 10, 3},
        {TOsPlatform::Windows9x, 5, 0, 3},
        {TOsPlatform::WindowsNt, 3, 51, 4},
        {TOsPlatform::WindowsNt, 4, 0, 4},
        {TOsPlatform::WindowsNt, 5, 0, 5},
        {TOsPlatform::WindowsNt, 5, 1, 6},
        {TOsPlatform::WindowsNt, 5, 2, 7},
        {TOsPlatform::WindowsNt, 6, 0, 8},
        {TOsPlatform::WindowsNt, 6, 1, 9},
        {TOsPlatform::WindowsNt, 6, 2, 10},
        {TOsPlatform::WindowsNt, 6, 3, 10},
        {TOsPlatform::WindowsNt, 10, 0, 0},
        {TOsPlatform::WindowsNt, 7, 0, 0},
        {TOsPlatform::Other, 6, 1, 0},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ksv::ClassifyWindowsVersion(row.Platform, row.Major, row.Minor), row.Code)
            << row.Major << "." << row.Minor;
#ifndef _WIN32
    EXPECT_EQ(ksv::QueryWindowsVersionCode(), 0);
#endif
}

TEST(WindowSizeRule, ClientSizeFromDesignSizeShiftAndWorkArea)
{
    struct Row {
        ksv::TWindowDecoration Decoration;
        int WorkHeight;
        QSize Client;
    };
    const QSize design(1168, 866);
    const int equipment = 160, shift = 33;
    const Row rows[] = {
        // No decoration known: the design size less the equipment panel and Shift.
        {{0, 0, 0}, 1040, {1135, 706}},
        // Decoration does not change the client size while the work area is tall enough.
        {{23, 4, 4}, 1040, {1135, 706}},
        // A work area lower than the window: the window takes its height.
        {{23, 4, 4}, 728, {1135, 728 - 23 - 8}},
        {{0, 0, 0}, 700, {1135, 700}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ksv::MainWindowClientSize(design, equipment, shift, row.Decoration, row.WorkHeight), row.Client)
            << "work area " << row.WorkHeight << ", caption " << row.Decoration.Caption;
}

TEST(WindowSizeRule, DecorationFromFrameAndClientRectangles)
{
    const ksv::TWindowDecoration d = ksv::DecorationFrom(QRect(100, 50, 1143, 737), QRect(104, 77, 1135, 706));
    EXPECT_EQ(d.FrameX, 4);
    EXPECT_EQ(d.FrameY, 4);
    EXPECT_EQ(d.Caption, 23);
    const ksv::TWindowDecoration none = ksv::DecorationFrom(QRect(0, 0, 10, 10), QRect(0, 0, 10, 10));
    EXPECT_EQ(none.Caption + none.FrameX + none.FrameY, 0);
}

TEST(WindowSizeRule, MultimeterPanelIsCentredAndNeverTallerThanItsPage)
{
    // Fits: lower by the equipment panel, centred, top one pixel down.
    EXPECT_EQ(ksv::CentredMultimeterPanel(QSize(1123, 601), 1100, 720, 160), QRect(11, 21, 1100, 560));
    // Odd differences halve toward zero.
    EXPECT_EQ(ksv::CentredMultimeterPanel(QSize(1103, 563), 1100, 720, 160), QRect(1, 2, 1100, 560));
    // Still taller than the page: 10 pixels lower than the page.
    EXPECT_EQ(ksv::CentredMultimeterPanel(QSize(1123, 500), 1100, 720, 160), QRect(11, 6, 1100, 490));
}

TEST(WindowSizeRule, ASavedPositionIsReachableOnlyWithItsCaptionOnAWorkArea)
{
    const QList<QRect> one{QRect(0, 0, 1920, 1040)};
    const QSize size(1143, 737);
    const auto at = [&](int left, int top) { return QRect(QPoint(left, top), size); };
    EXPECT_TRUE(ksv::CaptionReachable(at(30, 40), 27, one));
    // Partly off the screen, but a grip of the caption is left: reachable.
    EXPECT_TRUE(ksv::CaptionReachable(at(1920 - 100, 1040 - 14), 27, one));
    EXPECT_TRUE(ksv::CaptionReachable(at(-1043, -13), 27, one));
    EXPECT_FALSE(ksv::CaptionReachable(at(1920 - 99, 40), 27, one));
    EXPECT_FALSE(ksv::CaptionReachable(at(30, 1040 - 13), 27, one));
    EXPECT_FALSE(ksv::CaptionReachable(at(30, -14), 27, one));
    EXPECT_FALSE(ksv::CaptionReachable(at(5000, 3000), 27, one));
    // A monitor that is no longer attached; a second one that still is.
    EXPECT_FALSE(ksv::CaptionReachable(at(2000, 100), 0, one));
    EXPECT_TRUE(ksv::CaptionReachable(at(2000, 100), 0, {one.front(), QRect(1920, 0, 1280, 1024)}));
    EXPECT_FALSE(ksv::CaptionReachable(at(30, 40), 27, {}));
}

} // namespace
