#include "Ksv27adcchannelpanel.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>

#include "TLed.h"

namespace ksv {

namespace {

const QColor kLampRed(255, 0, 0);
const QColor kLampGreen(0, 255, 0);
const QColor kValueGround(0, 0, 0);

} // namespace

TKsv27AdcChannelFrame::TKsv27AdcChannelFrame(QWidget* owner, int slot) : QFrame(owner), Slot(slot)
{
    setupUi(this);

    setProperty("tag", slot);
    SlotNumberLMDCheckBox->setProperty("tag", slot);
    SlotNumberLMDCheckBox->setText(QStringLiteral("Слот %1").arg(slot + 1));

    ShowNoPins();

    for (int channel = 1; channel <= 2; ++channel) {
        const QString caption = QStringLiteral("Канал %1").arg(2 * slot + channel);
        (channel == 1 ? Channel1LMDLabel : Channel2LMDLabel)->setText(caption);

        QLineEdit* edit = ValueEdit(channel);
        edit->setReadOnly(true);
        edit->setAlignment(Qt::AlignCenter);
        edit->setAutoFillBackground(true);
        edit->setAccessibleName(caption + QStringLiteral(": значение"));
        SetValueColor(channel, kLampGreen);
        edit->installEventFilter(this);
        connect(edit, &QLineEdit::textChanged, this, [this, edit] { ValueTextChanged(edit); });

        TLed* lamp = Lamp(channel);
        lamp->setAccessibleName(caption + QStringLiteral(": обновление"));
        SetChannelLamp(channel, kLampOff);
    }
}

QLineEdit* TKsv27AdcChannelFrame::ValueEdit(int channel) const
{
    return channel == 1 ? Value1LMDEdit : Value2LMDEdit;
}

TLed* TKsv27AdcChannelFrame::Lamp(int channel) const { return channel == 1 ? FlashLed1 : FlashLed2; }

void TKsv27AdcChannelFrame::SetChannelLamp(int channel, int state)
{
    if (channel != 1 && channel != 2) return;
    TLed* lamp = Lamp(channel);
    if (state == kLampUpdated) {
        lamp->setOnColor(kLampRed);
        lamp->setOffColor(kLampGreen);
    } else {
        const QColor face = palette().color(QPalette::Button);
        lamp->setOnColor(face);
        lamp->setOffColor(face);
    }
    lamp->setLit(false);
}

void TKsv27AdcChannelFrame::SetValueColor(int channel, const QColor& color)
{
    if (channel != 1 && channel != 2) return;
    QLineEdit* edit = ValueEdit(channel);
    QPalette pal = edit->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Base, kValueGround);
        pal.setColor(group, QPalette::Window, kValueGround);
        // A disabled slot keeps its colour, dimmed, so the dark display
        // still reads as switched off rather than as a grey box.
        pal.setColor(group, QPalette::Text, group == QPalette::Disabled ? color.darker(220) : color);
    }
    edit->setPalette(pal);
}

void TKsv27AdcChannelFrame::ShowNoValues(const QString& text)
{
    Value1LMDEdit->setText(text);
    Value2LMDEdit->setText(text);
    SetChannelLamp(1, kLampOff);
    SetChannelLamp(2, kLampOff);
}

void TKsv27AdcChannelFrame::ShowNoPins()
{
    for (QLabel* pin : {Pin1PlusNameLMDLabel, Pin1PlusNumberLMDLabel, Pin1MinusNameLMDLabel, Pin1MinusNumberLMDLabel,
                        Pin2PlusNameLMDLabel, Pin2PlusNumberLMDLabel, Pin2MinusNameLMDLabel, Pin2MinusNumberLMDLabel})
        pin->setText(QStringLiteral("--"));
}

void TKsv27AdcChannelFrame::SetSlotControlsEnabled(bool enabled)
{
    QWidget* const controls[] = {
        MezzaninenameLMDLabel, Pin1NameLabLMDLabel, Pin1NumberLabLMDLabel, Pin2NameLabLMDLabel,
        Pin2NumberLabLMDLabel, Pin1PlusNameLMDLabel, Pin1PlusNumberLMDLabel, Pin1MinusNameLMDLabel,
        Pin1MinusNumberLMDLabel, Pin2PlusNameLMDLabel, Pin2PlusNumberLMDLabel, Pin2MinusNameLMDLabel,
        Pin2MinusNumberLMDLabel, Channel1LMDLabel, Channel2LMDLabel, ValuesLabLMDLabel,
        Value1LMDEdit, Value2LMDEdit, FlashLed1, FlashLed2};
    for (QWidget* control : controls) control->setEnabled(enabled);
}

void TKsv27AdcChannelFrame::SetSecondChannelEnabled(bool enabled)
{
    QWidget* const controls[] = {Channel2LMDLabel, Pin2NameLabLMDLabel, Pin2NumberLabLMDLabel,
                                 Value2LMDEdit, FlashLed2};
    for (QWidget* control : controls) control->setEnabled(enabled);
}

void TKsv27AdcChannelFrame::ValueTextChanged(QLineEdit* edit)
{
    // Keeps a fresh value ready to copy in the edit the user is looking at.
    // An edit without focus keeps no selection, so the sixteen displays do
    // not all light up with highlight bars at every cycle.
    if (AppActive && edit->hasFocus()) edit->selectAll();
}

bool TKsv27AdcChannelFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut && AppActive &&
        (watched == Value1LMDEdit || watched == Value2LMDEdit)) {
        static_cast<QLineEdit*>(watched)->deselect();
    }
    return QFrame::eventFilter(watched, event);
}

} // namespace ksv
