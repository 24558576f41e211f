// Hints stay inside the work area of the main window's monitor.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QToolTip>

#include "FormControls.h"
#include "Ksv27mainform.h"
#include "THintPlacement.h"

namespace {

using ksv::HintPositionInWorkArea;

TEST(HintPlacement, HintsPassingAnEdgeEndTenPixelsInsideIt)
{
    const QRect work(0, 0, 1920, 1040);
    struct Row {
        QRect hint;
        QPoint expected;
    } rows[] = {
        {{100, 100, 300, 40}, {100, 100}},     // inside: stays
        {{1800, 100, 300, 40}, {1610, 100}},   // passes the right edge
        {{100, 1020, 300, 40}, {100, 990}},    // passes the bottom
        {{1900, 1030, 300, 40}, {1610, 990}},  // the bottom-right corner
        {{1620, 1000, 300, 40}, {1620, 1000}}, // touches both edges exactly: stays
    };
    for (const Row& row : rows) EXPECT_EQ(HintPositionInWorkArea(row.hint, work), row.expected) << row.hint.x();

    // A work area that does not start at the origin (a panel on the left).
    EXPECT_EQ(HintPositionInWorkArea({1900, 50, 200, 30}, {64, 0, 1856, 1080}), QPoint(1710, 50));
}

TEST(HintPlacement, AHintNearTheCornerIsShownInsideTheWorkArea)
{
    TMainForm form;
    form.StartupPhase = 3; // no discovery
    form.show();
    QWidget* lamp = FORM_UI(form, ModuleStatusLed);
    const QRect work = form.screen()->availableGeometry();
    const QPoint corner = work.bottomRight() - QPoint(2, 2);
    QHelpEvent help(QEvent::ToolTip, lamp->mapFromGlobal(corner), corner);
    QApplication::sendEvent(lamp, &help);

    ASSERT_NE(form.HintWindow, nullptr) << "the tip window becomes the hint window at the first hint";
    const QRect tip = form.HintWindow->frameGeometry();
    EXPECT_TRUE(form.HintWindow->isVisible());
    EXPECT_EQ(tip.x() + tip.width(), work.x() + work.width() - ksv::kHintEdgeMargin);
    EXPECT_EQ(tip.y() + tip.height(), work.y() + work.height() - ksv::kHintEdgeMargin);
    QToolTip::hideText();
}

} // namespace
