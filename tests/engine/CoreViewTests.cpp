// The decisions the window only paints: the status display from the device
// state, and a slot's legend from its mezzanine.
#include <gtest/gtest.h>

#include <cstring>

#include "DeviceStatusView.h"
#include "SlotLegend.h"

using namespace ksv;

TEST(StatusView, ResetFinalAndPartsByMode)
{
    Ksv27ModuleRecord record{};
    std::memcpy(record.ModuleSerial, "27-S", 4);
    record.FirmwareVersion = 0x01020304u;

    const TDeviceStatusView reset = DeviceStatusView(false, TDiscoveryMode::Full, "", true, kModuleOpen, record);
    EXPECT_TRUE(reset.ClearLists);
    EXPECT_EQ(reset.Crate.Lamp, TStatusLamp::Neutral);
    EXPECT_EQ(reset.Crate.Hint, "Статус KSV крейта -> ???");
    EXPECT_EQ(reset.Module.Hint, "Статус модуля '?\?\?'-> ???");
    EXPECT_EQ(reset.Serial, "????????") << "only a final view shows the module";

    const TDeviceStatusView ok = DeviceStatusView(true, TDiscoveryMode::CrateChanged, "", true, kModuleOpen, record);
    EXPECT_FALSE(ok.ClearLists);
    EXPECT_EQ(ok.Crate.Lamp, TStatusLamp::Green);
    EXPECT_EQ(ok.Module.Hint, "Статус модуля '?\?\?' -> OK");
    EXPECT_EQ(ok.Serial, "27-S");
    EXPECT_EQ(ok.Firmware, "1.2.3.4");

    const TDeviceStatusView bad = DeviceStatusView(true, TDiscoveryMode::ModuleChanged, "KSV27", false, kModuleFound, record);
    EXPECT_FALSE(bad.ShowCrate) << "a module change leaves the crate lamp alone";
    EXPECT_EQ(bad.Module.Lamp, TStatusLamp::Red);
    EXPECT_EQ(bad.Module.Hint, "Статус модуля 'KSV27' -> BAD");
    EXPECT_EQ(bad.Firmware, "????????");

    EXPECT_FALSE(DeviceStatusView(true, static_cast<TDiscoveryMode>(0), "", true, kModuleOpen, record).ShowModule);
}

TEST(SlotLegendOf, CaptionUnitAndPinsByKind)
{
    const TSlotLegend resistance = SlotLegendOf("R250", "S-1");
    EXPECT_EQ(resistance.MezzanineCaption, "MZ8R250 (S/N S-1)");
    EXPECT_STREQ(resistance.Unit, "Сопротивление, Ом");
    EXPECT_EQ(resistance.Pins, TPinFamily::Resistance);
    EXPECT_EQ(SlotLegendOf("T", "").Pins, TPinFamily::Voltage);

    const TSlotLegend unknown = SlotLegendOf("X9", "S-2");
    EXPECT_TRUE(unknown.Fitted);
    EXPECT_STREQ(unknown.Unit, "????????????");
    EXPECT_EQ(unknown.Pins, TPinFamily::Keep);

    const TSlotLegend empty = SlotLegendOf("UDEF", "S-3");
    EXPECT_FALSE(empty.Fitted);
    EXPECT_EQ(empty.MezzanineCaption, "Пустой");
    EXPECT_EQ(empty.Pins, TPinFamily::None);
}
