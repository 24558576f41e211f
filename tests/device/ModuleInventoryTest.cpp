// The device inventory against a scripted crate system: what is listed,
// which crate and module are chosen, the order of the library calls, and
// that full-width fields and out-of-range indexes stay inside the arrays.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "BoundedText.h"
#include "FakeKsvApi.h"
#include "ModuleInventory.h"

using namespace ksv;
using ksv::test::Ksv27;
using ksv::test::TFakeCrate;
using ksv::test::TFakeKsvApi;

namespace {

class Inventory : public ::testing::Test {
protected:
    void SetUp() override { SetKsvApi(&api); }
    void TearDown() override { SetKsvApi(nullptr); }

    TFakeCrate& AddCrate(const std::string& serial)
    {
        api.Crates.push_back(TFakeCrate{});
        api.Crates.back().Serial = serial;
        return api.Crates.back();
    }
    TInventoryResult Build() { return BuildModuleInventory(inv, record); }
    long Count(const std::string& call) const
    {
        const auto log = api.Log();
        return std::count(log.begin(), log.end(), call);
    }

    TFakeKsvApi api;
    TDeviceInventory inv;
    Ksv27ModuleRecord record{};
};

TEST_F(Inventory, ListsKsv27ModulesPerCrateInSlotOrderAndSkipsCratesWhereNoneOpens)
{
    TFakeCrate& a = AddCrate("CRATE-A");
    a.Slots[2] = Ksv27("MOD-A3");
    a.Slots[5] = Ksv27("MOD-A6", "GetConfig"); // fails to open: left out
    TFakeCrate& b = AddCrate("CRATE-B");
    b.Slots[0] = Ksv27("MOD-B1", "Open");
    b.Slots[1] = Ksv27("MOD-B2", "GetDescription");
    b.Slots[3].ModuleId = 0x1234; // another module kind: never probed
    TFakeCrate& c = AddCrate("CRATE-C");
    c.Slots[9] = Ksv27("MOD-C10");
    c.Slots[1] = Ksv27("MOD-C2");

    ASSERT_EQ(Build(), TInventoryResult::Ok);
    EXPECT_EQ(inv.CrateCount, 3);
    EXPECT_EQ(inv.CrateModuleIds[1][3], 0x1234);
    ASSERT_EQ(inv.Ksv27CrateCount, 2);
    EXPECT_EQ(Ksv27CrateSerial(inv, 0), "CRATE-A");
    EXPECT_EQ(Ksv27CrateSerial(inv, 1), "CRATE-C"); // B had none that opened: C takes its index
    ASSERT_EQ(inv.Ksv27ModuleCount[0], 1);
    EXPECT_EQ(inv.Ksv27Slots[0][0], 3);
    EXPECT_EQ(Ksv27ModuleSerial(inv, 0, 0), "MOD-A3");
    ASSERT_EQ(inv.Ksv27ModuleCount[1], 2);
    EXPECT_EQ(inv.Ksv27Slots[1][0], 2);
    EXPECT_EQ(inv.Ksv27Slots[1][1], 10);
    EXPECT_EQ(Ksv27ModuleSerial(inv, 1, 0), "MOD-C2");
    EXPECT_EQ(Ksv27ModuleSerial(inv, 1, 1), "MOD-C10");
    EXPECT_EQ(inv.Ksv27ModuleCount[2], 0);
    EXPECT_EQ(Count("KSV27_Open(CRATE-B,4,2130706433:11111)"), 0);
    // The probe leaves the module closed.
    EXPECT_FALSE(api.ModuleOpen());
    // A rebuild does not disturb the choice; choosing is a step of its own.
    EXPECT_EQ(inv.SelectedCrate, -1);
}

TEST_F(Inventory, ProbeClosesEachOpenedModuleBeforeTheNextAndTheLastAtTheEnd)
{
    TFakeCrate& a = AddCrate("CR");
    a.Slots[0] = Ksv27("M1");
    a.Slots[1] = Ksv27("M2");
    ASSERT_EQ(Build(), TInventoryResult::Ok);
    std::vector<std::string> modulesCalls;
    for (const std::string& call : api.Log())
        if (call.rfind("KSV27_", 0) == 0) modulesCalls.push_back(call);
    const std::vector<std::string> expected = {
        "KSV27_IsOpened", "KSV27_Init", "KSV27_Open(CR,1,2130706433:11111)", "KSV27_GetConfig",
        "KSV27_GetDescription(511)",
        "KSV27_IsOpened", "KSV27_Close", "KSV27_Init", "KSV27_Open(CR,2,2130706433:11111)", "KSV27_GetConfig",
        "KSV27_GetDescription(511)",
        "KSV27_IsOpened", "KSV27_Close"};
    EXPECT_EQ(modulesCalls, expected);
}

TEST_F(Inventory, ConnectionsAreOpenedOnChannelZeroAndClosedAgain)
{
    AddCrate("X1").Slots[0] = Ksv27("M");
    AddCrate("X2");
    ASSERT_EQ(Build(), TInventoryResult::Ok);
    // The fake refuses any KSV_Open on a channel other than 0.
    EXPECT_EQ(Count("KSV_Open(crates)"), 1);
    EXPECT_EQ(Count("KSV_Open(slots)"), 2);
    EXPECT_EQ(Count("KSV_Close"), 3);
    EXPECT_EQ(Count("KSV_Init"), 2); // once for the listing, once for all slot queries
    EXPECT_EQ(api.SlotQuerySerials(), (std::vector<std::string>{"X1", "X2"}));
}

TEST_F(Inventory, CrateListingFailureLeavesTheListZeroAndTheRestUntouched)
{
    AddCrate("OLD").Slots[0] = Ksv27("M");
    ASSERT_EQ(Build(), TInventoryResult::Ok);
    inv.SelectedCrate = 0;

    api.GetCratesFails = true; // writes an entry, then fails
    EXPECT_EQ(Build(), TInventoryResult::CrateListingFailed);
    EXPECT_EQ(inv.CrateSerials[0][0], '\0');
    EXPECT_EQ(inv.CrateCount, 0);
    EXPECT_EQ(inv.Ksv27CrateCount, 1);
    EXPECT_EQ(Ksv27CrateSerial(inv, 0), "OLD");
    EXPECT_EQ(Count("KSV_Close"), 3); // opened connection closed although the query failed

    api.GetCratesFails = false;
    api.ListOpenFails = true;
    api.ClearLog();
    EXPECT_FALSE(ListCrates(inv));
    EXPECT_EQ(Count("KSV_GetCrates"), 0);
}

TEST_F(Inventory, SlotQueryFailureStopsTheBuildWithTheConnectionClosed)
{
    AddCrate("A").Slots[0] = Ksv27("M1");
    AddCrate("B").SlotQueryFails = true;
    AddCrate("C").Slots[0] = Ksv27("M3");
    EXPECT_EQ(Build(), TInventoryResult::SlotQueryFailed);
    EXPECT_EQ(inv.CrateCount, 2);
    EXPECT_EQ(inv.Ksv27CrateCount, 0);
    EXPECT_EQ(Count("KSV_Open(slots)"), 2);
    EXPECT_EQ(Count("KSV_Close"), 3);
    EXPECT_EQ(Count("KSV27_Init"), 0); // no probe began

    api.Crates[1].SlotQueryFails = false;
    api.SlotOpenFails = true;
    api.ClearLog();
    EXPECT_EQ(Build(), TInventoryResult::SlotQueryFailed);
    EXPECT_EQ(Count("KSV_GetCrateModules"), 0);
    EXPECT_EQ(Count("KSV_Close"), 1); // the listing's only: a refused connection is not closed
}

TEST_F(Inventory, EmptyCrateListIsSuccessWithoutKsv27Crates)
{
    EXPECT_EQ(Build(), TInventoryResult::Ok);
    EXPECT_EQ(inv.CrateCount, 0);
    EXPECT_EQ(inv.Ksv27CrateCount, 0);
}

TEST_F(Inventory, SixteenFullWidthCratesAndSlotsStayWithinTheirFields)
{
    for (int c = 0; c < 16; ++c) {
        // 16 characters: no NUL inside the crate list entry or the module serial field.
        std::string serial = "CRATESERIAL-" + std::to_string(1000 + c);
        ASSERT_EQ(serial.size(), 16u);
        TFakeCrate& crate = AddCrate(serial);
        for (int k = 0; k < 16; ++k) {
            std::string module = "MODULESERIAL" + std::to_string(1000 + 16 * c + k);
            crate.Slots[static_cast<std::size_t>(k)] = Ksv27(module.substr(0, 16));
        }
    }
    ASSERT_EQ(Build(), TInventoryResult::Ok);
    EXPECT_EQ(inv.CrateCount, 16);
    ASSERT_EQ(inv.Ksv27CrateCount, 16);
    EXPECT_EQ(Ksv27CrateSerial(inv, 15), "CRATESERIAL-1015");
    EXPECT_EQ(inv.Ksv27ModuleCount[15], 16);
    EXPECT_EQ(inv.Ksv27Slots[15][15], 16);
    EXPECT_EQ(Ksv27ModuleSerial(inv, 15, 15).size(), 16u);
    EXPECT_EQ(Ksv27ModuleSerial(inv, 3, 2), "MODULESERIAL1050");
    // The slot query gets the serial with its last character forced to NUL;
    // the module open gets all 16 characters, terminated.
    EXPECT_EQ(api.SlotQuerySerials()[0], "CRATESERIAL-100");
    EXPECT_EQ(Count("KSV27_Open(CRATESERIAL-1000,1,2130706433:11111)"), 1);
    EXPECT_EQ(Count("KSV27_Open(CRATESERIAL-1015,16,2130706433:11111)"), 1);
}

TEST_F(Inventory, MoreCratesThanTheListHoldsAreCutAtSixteen)
{
    for (int c = 0; c < 20; ++c) AddCrate("C" + std::to_string(c)).Slots[0] = Ksv27("M" + std::to_string(c));
    ASSERT_EQ(Build(), TInventoryResult::Ok);
    EXPECT_EQ(inv.CrateCount, 16);
    EXPECT_EQ(inv.Ksv27CrateCount, 16);
    EXPECT_EQ(Ksv27CrateSerial(inv, 15), "C15");
}

class Choice : public Inventory {
protected:
    void SetUp() override
    {
        Inventory::SetUp();
        AddCrate("A").Slots[0] = Ksv27("A1");
        TFakeCrate& b = AddCrate("B");
        b.Slots[2] = Ksv27("B3");
        b.Slots[6] = Ksv27("B7");
        ASSERT_EQ(Build(), TInventoryResult::Ok);
    }
};

TEST_F(Choice, WantedCrateAndSlotFound)
{
    ChooseCrateAndModules(inv, "B", 7);
    EXPECT_EQ(inv.SelectedCrate, 1);
    EXPECT_EQ(inv.SelectedModuleInCrate[1], 1);
    EXPECT_EQ(inv.SelectedModuleInCrate[0], 0);
    std::string serial;
    int slot = 0;
    ASSERT_TRUE(SelectedModuleAddress(inv, serial, slot));
    EXPECT_EQ(serial, "B");
    EXPECT_EQ(slot, 7);
}

TEST_F(Choice, AbsentWantedCrateOrSlotFallsBackToTheFirst)
{
    inv.SelectedModuleInCrate[1] = 1;
    ChooseCrateAndModules(inv, "NOPE", 7);
    EXPECT_EQ(inv.SelectedCrate, 0);
    EXPECT_EQ(inv.SelectedModuleInCrate[0], 0);
    EXPECT_EQ(inv.SelectedModuleInCrate[1], 0); // every entry reset

    ChooseCrateAndModules(inv, "B", 5);
    EXPECT_EQ(inv.SelectedCrate, 1);
    EXPECT_EQ(inv.SelectedModuleInCrate[1], 0);

    ChooseCrateAndModules(inv, "", -1); // the defaults of a new settings file
    EXPECT_EQ(inv.SelectedCrate, 0);
    EXPECT_EQ(inv.SelectedModuleInCrate[0], 0);
}

TEST_F(Choice, IndexesOutsideTheInventoryNeverAddressAModule)
{
    std::string serial = "unchanged";
    int slot = 99;
    for (int crate : {-1, 2, 16, 300}) {
        inv.SelectedCrate = static_cast<std::int16_t>(crate);
        EXPECT_FALSE(SelectedModuleAddress(inv, serial, slot)) << crate;
    }
    inv.SelectedCrate = 1;
    for (int module : {-1, 2, 16}) {
        inv.SelectedModuleInCrate[1] = static_cast<std::int16_t>(module);
        EXPECT_FALSE(SelectedModuleAddress(inv, serial, slot)) << module;
    }
    EXPECT_EQ(serial, "unchanged");
    EXPECT_EQ(slot, 99);
    EXPECT_EQ(Ksv27ModuleSerial(inv, 0, 1), "");
    EXPECT_EQ(Ksv27ModuleSlot(inv, 5, 0), -1);
    EXPECT_EQ(Ksv27CrateSerial(inv, -1), "");

    // A crate count that claims modules beyond the arrays is cut at 16.
    inv.Ksv27ModuleCount[0] = 40;
    EXPECT_EQ(Ksv27ModuleCountOf(inv, 0), 16);
    EXPECT_FALSE(ValidModuleIndex(inv, 0, 16));
    inv.Ksv27CrateCount = 0;
    EXPECT_EQ(Ksv27ModuleCountOf(inv, 0), 0);
}

class ModuleOpen : public Inventory {};

TEST_F(ModuleOpen, SequenceClosesAnOpenModuleFirstAndStopsAtTheFirstFailure)
{
    TFakeCrate& a = AddCrate("A");
    a.Slots[0] = Ksv27("M1");
    a.Slots[1] = Ksv27("M2", "GetConfig");
    a.Slots[2] = Ksv27("M3", "GetDescription");

    EXPECT_TRUE(OpenModule(record, "A", 1));
    EXPECT_EQ(api.Log(), (std::vector<std::string>{"KSV27_IsOpened", "KSV27_Init",
                                                   "KSV27_Open(A,1,2130706433:11111)", "KSV27_GetConfig",
                                                   "KSV27_GetDescription(511)"}));
    EXPECT_EQ(FieldText(record.ModuleSerial), "M1");

    api.ClearLog();
    EXPECT_FALSE(OpenModule(record, "A", 2));
    EXPECT_EQ(api.Log(), (std::vector<std::string>{"KSV27_IsOpened", "KSV27_Close", "KSV27_Init",
                                                   "KSV27_Open(A,2,2130706433:11111)", "KSV27_GetConfig"}));
    EXPECT_TRUE(api.ModuleOpen()); // a failure may leave the record open

    api.ClearLog();
    EXPECT_FALSE(OpenModule(record, "A", 3));
    EXPECT_EQ(api.Log().back(), "KSV27_GetDescription(511)");

    api.ClearLog();
    EXPECT_FALSE(OpenModule(record, "A", 9)); // nothing in slot 9
    EXPECT_EQ(api.Log().back(), "KSV27_Open(A,9,2130706433:11111)");
}

TEST(DeviceTexts, ItemAndFirmwareTexts)
{
    EXPECT_EQ(CrateItemText(0, "K27-0001"), "1: K27-0001");
    EXPECT_EQ(CrateItemText(15, ""), "16: ");
    EXPECT_EQ(ModuleItemText(3), "Слот 3: KSV27");
    EXPECT_EQ(ModuleItemText(16), "Слот 16: KSV27");
    const std::pair<std::uint32_t, const char*> firmware[] = {
        {0x01020304u, "1.2.3.4"}, {0u, "0.0.0.0"}, {0xFFFFFFFFu, "255.255.255.255"}, {0x0A00FF01u, "10.0.255.1"}};
    for (const auto& [word, text] : firmware) EXPECT_EQ(FirmwareText(word), text) << word;
}

} // namespace
