// The page control asks before every change of page, whichever way it comes.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTabBar>
#include <QTest>

#include "TPageControl.h"

namespace {

class PageControl : public ::testing::Test {
protected:
    PageControl()
    {
        for (const char* title : {"A", "B", "C"}) Pages.addTab(new QWidget, QString::fromLatin1(title));
        Pages.resize(400, 300);
        Pages.setChangingEx([this](int index, bool& cancel) {
            Asked.push_back(index);
            cancel = Refuse;
        });
    }

    TPageControl Pages;
    std::vector<int> Asked;
    bool Refuse = false;
};

TEST_F(PageControl, ProgrammaticChangesAreAskedAndCanBeRefused)
{
    QSignalSpy changed(&Pages, &QTabWidget::currentChanged);
    Refuse = true;
    Pages.setCurrentIndex(2);
    EXPECT_EQ(Pages.currentIndex(), 0);
    EXPECT_EQ(Pages.tabBar()->currentIndex(), 0);
    EXPECT_EQ(changed.count(), 0);
    Refuse = false;
    Pages.setCurrentWidget(Pages.widget(1));
    EXPECT_EQ(Pages.currentIndex(), 1);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(Asked, (std::vector<int>{2, 1}));
    // Through the meta-object too.
    QMetaObject::invokeMethod(&Pages, "setCurrentIndex", Q_ARG(int, 2));
    EXPECT_EQ(Asked.back(), 2);
    EXPECT_EQ(Pages.currentIndex(), 2);
}

TEST_F(PageControl, NoQuestionForTheCurrentPageOrABadIndex)
{
    EXPECT_TRUE(Pages.requestPage(0));
    EXPECT_FALSE(Pages.requestPage(3));
    EXPECT_FALSE(Pages.requestPage(-1));
    Pages.setCurrentWidget(nullptr);
    EXPECT_TRUE(Asked.empty());
    EXPECT_EQ(Pages.currentIndex(), 0);
}

TEST_F(PageControl, ClickOnATabIsAskedFirst)
{
    Pages.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Pages));
    QTabBar* bar = Pages.tabBar();
    Refuse = true;
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(2).center());
    EXPECT_EQ(Pages.currentIndex(), 0);
    EXPECT_EQ(Pages.currentWidget(), Pages.widget(0));
    Refuse = false;
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(2).center());
    EXPECT_EQ(Pages.currentIndex(), 2);
    EXPECT_EQ(Asked, (std::vector<int>{2, 2}));
}

TEST_F(PageControl, KeysOnTheTabsAndOnTheControlAreAskedFirst)
{
    Pages.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Pages));
    QTabBar* bar = Pages.tabBar();
    Refuse = true;
    QTest::keyClick(bar, Qt::Key_Right);
    EXPECT_EQ(Pages.currentIndex(), 0);
    EXPECT_EQ(bar->currentIndex(), 0);
    QTest::keyClick(&Pages, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(Pages.currentIndex(), 0);
    EXPECT_EQ(bar->currentIndex(), 0);
    EXPECT_EQ(Asked, (std::vector<int>{1, 1}));

    Refuse = false;
    QTest::keyClick(bar, Qt::Key_Right);
    EXPECT_EQ(Pages.currentIndex(), 1);
    EXPECT_EQ(Pages.currentWidget(), Pages.widget(1));
    QTest::keyClick(&Pages, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(Pages.currentIndex(), 2);
    EXPECT_EQ(Asked, (std::vector<int>{1, 1, 1, 2}));
}

TEST_F(PageControl, SheetSizeMatchesTheLaidOutPage)
{
    Pages.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Pages));
    EXPECT_EQ(Pages.widget(0)->size(), Pages.sheetSizeFor(Pages.size()));
    EXPECT_EQ(Pages.sheetSizeFor(QSize(600, 500)) - Pages.sheetSizeFor(QSize(400, 300)), QSize(200, 200));
}

} // namespace
