// The device engine against the scripted crate system: each failure gives
// the window's text (or none), and what the probe saw of every module.
#include <gtest/gtest.h>

#include "DeviceEngine.h"
#include "TKsvApi.h"
#include "FakeKsvApi.h"

using namespace ksv;
using ksv::test::Ksv27;

namespace {

class DeviceEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetKsvApi(&api);
        api.Crates.resize(2);
        api.Crates[0].Serial = "C-EMPTY";
        api.Crates[1].Serial = "C-TWO";
        api.Crates[1].Slots[2] = Ksv27("27-A");
        api.Crates[1].Slots[5] = Ksv27("27-B");
        api.Crates[1].Slots[5].Firmware = 0x0A000102u;
    }
    void TearDown() override { SetKsvApi(nullptr); }

    test::TFakeKsvApi api;
    TDeviceEngine engine;
};

TEST_F(DeviceEngineTest, FindsTheModulesChoosesTheWantedOneAndOpensIt)
{
    ASSERT_TRUE(engine.FindModules("C-TWO", 6));
    EXPECT_EQ(engine.ListedCrates(), (std::vector<std::string>{"C-EMPTY", "C-TWO"}));
    ASSERT_EQ(engine.Modules().size(), 2u);
    EXPECT_EQ(engine.Modules()[1].CrateSerial, "C-TWO");
    EXPECT_EQ(engine.Modules()[1].Crate, 0) << "the index among the crates that hold a KSV27";
    EXPECT_EQ(engine.Modules()[1].Slot, 6);
    EXPECT_EQ(engine.Modules()[1].ModuleSerial, "27-B");
    EXPECT_EQ(engine.Modules()[1].Firmware, "10.0.1.2");
    EXPECT_FALSE(api.ModuleOpen()) << "the probe leaves the module closed";

    EXPECT_EQ(engine.ChosenCrateSerial(), "C-TWO");
    EXPECT_EQ(engine.ChosenSlot(), 6);
    ASSERT_TRUE(engine.OpenChosenModule());
    EXPECT_TRUE(engine.ModuleOpen());
    EXPECT_EQ(engine.ModuleSerial(), "27-B");
    EXPECT_EQ(engine.ModuleName(), "KSV27");

    EXPECT_FALSE(engine.Choose(0, 2)) << "crate 0 has two modules only";
    EXPECT_EQ(engine.ChosenSlot(), 6);
    ASSERT_TRUE(engine.Choose(0, 0));
    EXPECT_EQ(engine.ChosenSlot(), 3);
    engine.CloseModule();
    EXPECT_FALSE(engine.ModuleOpen());
}

TEST_F(DeviceEngineTest, EachFailureCarriesTheWindowsTextOrNone)
{
    api.ListOpenFails = true;
    TEngineStatus status = engine.FindModules("", 0);
    EXPECT_TRUE(status.Failed());
    EXPECT_EQ(status.Message, discovery_text::kNoCrate);

    api.ListOpenFails = false;
    api.Crates[0].SlotQueryFails = true;
    status = engine.FindModules("", 0);
    EXPECT_TRUE(status.Failed());
    EXPECT_EQ(status.Message, "") << "a failed slot query shows in the lamps only";

    api.Crates[0].SlotQueryFails = false;
    api.Crates[1].Slots[2].FailAt = "GetDescription";
    api.Crates[1].Slots[5].FailAt = "Open";
    status = engine.FindModules("", 0);
    EXPECT_EQ(status.Message, discovery_text::kNoKsv27);
    EXPECT_TRUE(engine.Modules().empty());

    api.Crates[1].Slots[2].FailAt.clear();
    ASSERT_TRUE(engine.FindModules("", 0));
    api.Crates[1].Slots[2].FailAt = "GetConfig";
    status = engine.OpenChosenModule();
    EXPECT_TRUE(status.Failed());
    EXPECT_EQ(status.Message, "") << "the window's text for it depends on the discovery's mode";
}

TEST(DeviceEngineOwnState, CallerStateIsUsedInPlace)
{
    TDeviceInventory inventory;
    Ksv27ModuleRecord record{};
    TDeviceEngine engine(inventory, record);
    EXPECT_EQ(&engine.Inventory(), &inventory);
    EXPECT_EQ(&engine.Record(), &record);
    EXPECT_EQ(engine.ChosenSlot(), -1) << "nothing chosen before a discovery";
}

} // namespace
