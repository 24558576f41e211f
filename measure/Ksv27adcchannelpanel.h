// The panel of one mezzanine slot on the multimeter page: its check box,
// the mezzanine and the measured quantity, and for each of its two channels
// the value, the update lamp and the names and contacts of the input pins.
//
// Every control is a public member under its own name (from
// Ksv27adcchannelpanel.ui) and lies inside Ksv27AdcChannelLMDSimplePanel.
// Lives on the window's thread; the measurement thread reads the check box
// and changes the rest only through the synchronous hand-off.
#pragma once

#include <QColor>
#include <QFrame>

#include "MeasureCore.h"
#include "ui_Ksv27adcchannelpanel.h"

class QLineEdit;

namespace ksv {

class TKsv27AdcChannelFrame : public QFrame, public Ui::TKsv27AdcChannelFrame {
    Q_OBJECT

public:
    // Lamp states of SetChannelLamp.
    static constexpr int kLampUpdated = 0; // green
    static constexpr int kLampOff = 2;     // blends with the panel

    TKsv27AdcChannelFrame(QWidget* owner, int slot);

    // Slot 0..7; also the "tag" property of the frame and of its check box.
    const int Slot;
    // Set while the application is active (the window sets and clears it).
    int AppActive = 0;

    // Channel 1 or 2; other channel numbers are ignored.
    void SetChannelLamp(int channel, int state);
    // The value text colour of channel 1 or 2, on the black ground.
    void SetValueColor(int channel, const QColor& color);
    // Both channels show `text` (the no-value text unless given) with their
    // lamps off.
    void ShowNoValues(const QString& text = QString::fromUtf8(kNoValueText));
    // Every pin name and contact label shows "--".
    void ShowNoPins();

    // Everything but the check box.
    void EnableSlotControls() { SetSlotControlsEnabled(true); }
    void DisableSlotControls() { SetSlotControlsEnabled(false); }
    // Channel 2's caption, headings, value and lamp; its pin labels keep their state.
    void EnableSecondChannel() { SetSecondChannelEnabled(true); }
    void DisableSecondChannel() { SetSecondChannelEnabled(false); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetSlotControlsEnabled(bool enabled);
    void SetSecondChannelEnabled(bool enabled);
    QLineEdit* ValueEdit(int channel) const;
    TLed* Lamp(int channel) const;
    void ValueTextChanged(QLineEdit* edit);
};

} // namespace ksv
