// The channel frame of one slot, and the lamp it uses.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include "Ksv27adcchannelpanel.h"
#include "TLed.h"

namespace {

using ksv::TKsv27AdcChannelFrame;

QList<QLabel*> PinLabels(TKsv27AdcChannelFrame& f)
{
    return {f.Pin1PlusNameLMDLabel, f.Pin1PlusNumberLMDLabel, f.Pin1MinusNameLMDLabel, f.Pin1MinusNumberLMDLabel,
            f.Pin2PlusNameLMDLabel, f.Pin2PlusNumberLMDLabel, f.Pin2MinusNameLMDLabel, f.Pin2MinusNumberLMDLabel};
}

TEST(ChannelFrame, SlotFiveShowsItsSlotAndChannelNumbers)
{
    TKsv27AdcChannelFrame frame(nullptr, 5);
    EXPECT_EQ(frame.Slot, 5);
    EXPECT_EQ(frame.AppActive, 0);
    EXPECT_EQ(frame.property("tag").toInt(), 5);
    EXPECT_EQ(frame.SlotNumberLMDCheckBox->property("tag").toInt(), 5);
    EXPECT_EQ(frame.SlotNumberLMDCheckBox->text(), QStringLiteral("Слот 6"));
    EXPECT_EQ(frame.SlotNumberLMDCheckBox->toolTip(), QStringLiteral("Управление активностью слота"));
    EXPECT_EQ(frame.Channel1LMDLabel->text(), QStringLiteral("Канал 11"));
    EXPECT_EQ(frame.Channel2LMDLabel->text(), QStringLiteral("Канал 12"));
    for (QLabel* pin : PinLabels(frame)) EXPECT_EQ(pin->text(), QStringLiteral("--"));
    EXPECT_EQ(frame.Pin1NameLabLMDLabel->text(), QStringLiteral("Обозначение"));
    EXPECT_EQ(frame.Pin2NumberLabLMDLabel->text(), QStringLiteral("Контакт"));
    EXPECT_EQ(frame.ValuesLabLMDLabel->text(), QStringLiteral("Частота, Гц"));
    EXPECT_EQ(frame.MezzaninenameLMDLabel->text(), QStringLiteral("????????????"));
    const QColor face = frame.palette().color(QPalette::Button);
    for (TLed* lamp : {frame.FlashLed1, frame.FlashLed2}) {
        EXPECT_FALSE(lamp->isLit());
        EXPECT_EQ(lamp->shownColor(), face);
        EXPECT_EQ(lamp->toolTip(), QStringLiteral("Признак обновления канала"));
    }
    for (QLineEdit* value : {frame.Value1LMDEdit, frame.Value2LMDEdit}) {
        EXPECT_TRUE(value->isReadOnly());
        EXPECT_EQ(value->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        EXPECT_EQ(value->palette().color(QPalette::Base), QColor(0, 0, 0));
        EXPECT_EQ(value->echoMode(), QLineEdit::Normal); // copying allowed
    }
    // Every control lies inside the main panel.
    for (QWidget* child : frame.findChildren<QWidget*>()) {
        if (child == frame.Ksv27AdcChannelLMDSimplePanel) continue;
        EXPECT_TRUE(frame.Ksv27AdcChannelLMDSimplePanel->isAncestorOf(child)) << child->objectName().toStdString();
    }
}

TEST(ChannelFrame, ValuesAndLampsCarryTheirChannelForAssistiveTools)
{
    TKsv27AdcChannelFrame frame(nullptr, 5);
    EXPECT_TRUE(frame.Value1LMDEdit->accessibleName().startsWith(QStringLiteral("Канал 11")));
    EXPECT_TRUE(frame.Value2LMDEdit->accessibleName().startsWith(QStringLiteral("Канал 12")));
    EXPECT_TRUE(frame.FlashLed1->accessibleName().startsWith(QStringLiteral("Канал 11")));
    EXPECT_TRUE(frame.FlashLed2->accessibleName().startsWith(QStringLiteral("Канал 12")));
    EXPECT_NE(frame.Value1LMDEdit->accessibleName(), frame.FlashLed1->accessibleName());
}

TEST(ChannelFrame, LampStatesShowGreenOrBlendWithThePanel)
{
    TKsv27AdcChannelFrame frame(nullptr, 0);
    frame.SetChannelLamp(1, TKsv27AdcChannelFrame::kLampUpdated);
    EXPECT_EQ(frame.FlashLed1->shownColor(), QColor(0, 255, 0));
    EXPECT_EQ(frame.FlashLed1->onColor(), QColor(255, 0, 0));
    EXPECT_FALSE(frame.FlashLed1->isLit());
    // The other lamp is left alone.
    EXPECT_EQ(frame.FlashLed2->shownColor(), frame.palette().color(QPalette::Button));

    frame.SetChannelLamp(1, TKsv27AdcChannelFrame::kLampOff);
    EXPECT_EQ(frame.FlashLed1->shownColor(), frame.palette().color(QPalette::Button));
    EXPECT_EQ(frame.FlashLed1->onColor(), frame.FlashLed1->offColor());
    // And the face colour is the panel's own, so the lamp blends in.
    EXPECT_EQ(frame.FlashLed1->shownColor(), frame.Ksv27AdcChannelLMDSimplePanel->palette().color(QPalette::Window));

    frame.SetChannelLamp(2, TKsv27AdcChannelFrame::kLampUpdated);
    EXPECT_EQ(frame.FlashLed2->shownColor(), QColor(0, 255, 0));
    // Channel numbers other than 1 and 2 change nothing.
    frame.SetChannelLamp(3, TKsv27AdcChannelFrame::kLampOff);
    frame.SetChannelLamp(0, TKsv27AdcChannelFrame::kLampOff);
    EXPECT_EQ(frame.FlashLed2->shownColor(), QColor(0, 255, 0));
}

TEST(ChannelFrame, SlotControlsExceptTheCheckBoxEnableTogether)
{
    TKsv27AdcChannelFrame frame(nullptr, 2);
    frame.DisableSlotControls();
    EXPECT_TRUE(frame.SlotNumberLMDCheckBox->isEnabled());
    for (QWidget* w : frame.Ksv27AdcChannelLMDSimplePanel->findChildren<QWidget*>()) {
        if (w == frame.SlotNumberLMDCheckBox || w->objectName() == QStringLiteral("SlotSeparatorLine")) continue;
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    }
    frame.EnableSlotControls();
    for (QWidget* w : frame.Ksv27AdcChannelLMDSimplePanel->findChildren<QWidget*>())
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
}

TEST(ChannelFrame, SecondChannelSwitchLeavesItsPinLabelsAndTheFirstChannelAlone)
{
    TKsv27AdcChannelFrame frame(nullptr, 3);
    frame.Pin2PlusNameLMDLabel->setEnabled(false);
    frame.DisableSecondChannel();
    for (QWidget* w : {static_cast<QWidget*>(frame.Channel2LMDLabel), static_cast<QWidget*>(frame.Pin2NameLabLMDLabel),
                       static_cast<QWidget*>(frame.Pin2NumberLabLMDLabel), static_cast<QWidget*>(frame.Value2LMDEdit),
                       static_cast<QWidget*>(frame.FlashLed2)})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_FALSE(frame.Pin2PlusNameLMDLabel->isEnabled());
    EXPECT_TRUE(frame.Pin2PlusNumberLMDLabel->isEnabled());
    EXPECT_TRUE(frame.Pin2MinusNameLMDLabel->isEnabled());
    EXPECT_TRUE(frame.Value1LMDEdit->isEnabled());
    EXPECT_TRUE(frame.Channel1LMDLabel->isEnabled());

    frame.EnableSecondChannel();
    EXPECT_TRUE(frame.Value2LMDEdit->isEnabled());
    EXPECT_TRUE(frame.FlashLed2->isEnabled());
    EXPECT_FALSE(frame.Pin2PlusNameLMDLabel->isEnabled());
}

TEST(ChannelFrame, FocusedValueIsSelectedOnChangeWhileActiveAndDeselectedOnLeaving)
{
    TKsv27AdcChannelFrame frame(nullptr, 0);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    frame.Value1LMDEdit->setFocus();
    ASSERT_TRUE(frame.Value1LMDEdit->hasFocus());

    frame.Value1LMDEdit->setText(QStringLiteral("12.345"));
    EXPECT_FALSE(frame.Value1LMDEdit->hasSelectedText()) << "inactive application: no selection";

    frame.AppActive = 1;
    frame.Value1LMDEdit->setText(QStringLiteral("23.456"));
    EXPECT_EQ(frame.Value1LMDEdit->selectedText(), QStringLiteral("23.456"));
    frame.Value2LMDEdit->setText(QStringLiteral("1.000"));
    EXPECT_FALSE(frame.Value2LMDEdit->hasSelectedText()) << "an edit without focus keeps no selection";

    frame.Value2LMDEdit->setFocus();
    EXPECT_FALSE(frame.Value1LMDEdit->hasSelectedText());
}

TEST(Lamp, ShowsOnOrOffColourAndPaintsAtAnySize)
{
    TLed lamp;
    lamp.setOnColor(Qt::red);
    lamp.setOffColor(Qt::blue);
    EXPECT_EQ(lamp.shownColor(), QColor(Qt::blue));
    lamp.setLit(true);
    EXPECT_EQ(lamp.shownColor(), QColor(Qt::red));
    EXPECT_TRUE(lamp.isLit());
    for (const QSize size : {QSize(0, 0), QSize(1, 1), QSize(16, 16), QSize(40, 12)}) {
        lamp.resize(size);
        const QPixmap picture = lamp.grab();
        EXPECT_EQ(picture.size(), size);
    }
    // The middle of a lit lamp is its on-colour, more or less.
    lamp.resize(32, 32);
    const QImage image = lamp.grab().toImage();
    const QColor centre = image.pixelColor(16, 20);
    EXPECT_GT(centre.red(), 200);
    EXPECT_LT(centre.blue(), 80);
}

} // namespace
