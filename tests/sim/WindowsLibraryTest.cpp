// The Windows crate libraries, loaded by name from beside this program as
// the maker's would be, against a crate server on 127.0.0.1 that plays the
// built-in demo at the port KSV_SIM_PORT gives (scripts/ci-windows.sh starts
// it on the build machine). Without KSV_SIM_PORT the tests are skipped.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Client.h"
#include "TKsvLibraryLoader.h"
#include "SettingsPath.h"

namespace ksv {
namespace {

using std::chrono::steady_clock;

constexpr const char* kCrate = "KSV-C-0001";
// The demo's levels on the module in slot 1 of kCrate, channels 0..13.
constexpr double kDemoLevels[14] = {0.125, 0.25, 2.5, -3.75, 12.0, -15.5, 4.096, 10.25, 1.25, 4.0, 7.5, -2.5, 47.0, 0.47};

class WindowsLibraries : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("KSV_SIM_PORT")) GTEST_SKIP() << "KSV_SIM_PORT names no crate server";
        ASSERT_TRUE(lib.CrateLibraryLoaded() && lib.ModuleLibraryLoaded()) << "from " << ExecutableFolder();
        ASSERT_EQ(lib.MissingSymbols(), "");
        Control("clear");
    }
    void TearDown() override
    {
        if (lib.KSV27_IsOpened(&record) == 0) lib.KSV27_Close(&record);
    }

    // Sends a control command to the server, as its --control mode does.
    void Control(const std::string& command)
    {
        sim::Connection conn;
        ASSERT_EQ(conn.Connect(KSV_SERVER_ADDRESS, sim::EffectivePort(KSV_SERVER_PORT), sim::DeadlineIn(3000)), 0);
        sim::Writer w;
        w.Str(command);
        sim::Reply reply;
        ASSERT_EQ(conn.Call(sim::Op::Control, w.Bytes(), sim::DeadlineIn(3000), reply), 0);
        ASSERT_EQ(reply.Status, 0) << command;
    }

    int32_t Open(int slot = 1)
    {
        lib.KSV27_Init(&record);
        return lib.KSV27_Open(&record, KSV_SERVER_ADDRESS, KSV_SERVER_PORT, kCrate, slot);
    }

    // Configuration and description read, the description's coefficients
    // applied, 1000 Hz.
    void Configure()
    {
        ASSERT_EQ(lib.KSV27_GetConfig(&record), 0);
        ASSERT_EQ(lib.KSV27_GetDescription(&record, KSV27_DESCRIPTION_MASK), 0);
        record.AdcRateDivisor = 0;
        for (int m = 0; m < KSV27_MEZZANINES; ++m)
            std::memcpy(record.Mezzanines[m].MezzanineCoefs, Ksv27MezzanineDescOf(&record, m)->MezzanineDescCoefs,
                        sizeof record.Mezzanines[m].MezzanineCoefs);
        ASSERT_EQ(lib.KSV27_SetConfig(&record), 0);
    }

    TKsvLibraryLoader lib{ExecutableFolder()};
    Ksv27ModuleRecord record{};
};

TEST_F(WindowsLibraries, ListTheDemoCratesAndSlots)
{
    KsvCrateConnection c;
    lib.KSV_Init(&c);
    c.Channel = 0;
    ASSERT_EQ(lib.KSV_Open(&c), 0);
    KsvCrateList crates;
    std::memset(crates, 0, sizeof crates);
    ASSERT_EQ(lib.KSV_GetCrates(&c, crates), 0);
    EXPECT_STREQ(crates[0], "KSV-C-0001");
    EXPECT_STREQ(crates[2], "KSV-C-0003");
    EXPECT_EQ(crates[3][0], '\0');
    std::strncpy(c.CrateSerial, kCrate, sizeof c.CrateSerial - 1);
    uint16_t modules[KSV_MAX_SLOTS] = {};
    ASSERT_EQ(lib.KSV_GetCrateModules(&c, modules), 0);
    EXPECT_EQ(modules[0], KSV27_MODULE_ID);
    EXPECT_EQ(modules[1], 2577);
    EXPECT_EQ(modules[4], KSV27_MODULE_ID);
    lib.KSV_Close(&c);
}

TEST_F(WindowsLibraries, MeasureTheDemoLevels)
{
    ASSERT_EQ(Open(), 0);
    Configure();
    EXPECT_STREQ(record.ModuleSerial, "27A-1001");
    ASSERT_EQ(lib.KSV27_ADCStart(&record), 0);
    std::vector<uint32_t> words(100 * KSV27_CHANNELS);
    ASSERT_EQ(lib.KSV27_Recv(&record, words.data(), nullptr, static_cast<uint32_t>(words.size()), 5000),
              static_cast<int32_t>(words.size()));
    ASSERT_EQ(lib.KSV27_ADCStop(&record), 0);
    std::vector<double> values(words.size());
    uint32_t count = static_cast<uint32_t>(words.size());
    ASSERT_EQ(lib.KSV27_ProcessData(&record, words.data(), values.data(), &count, 1, 1), 0);
    ASSERT_EQ(count, words.size());
    for (int ch = 0; ch < 14; ++ch) {
        for (size_t i = static_cast<size_t>(ch); i < values.size(); i += KSV27_CHANNELS)
            ASSERT_NEAR(values[i], kDemoLevels[ch], 1e-5) << "channel " << ch << " word " << i;
    }
}

// The Winsock side: a refused call, a server that does not answer in time
// (the call ends at its own time-out), a connection cut by the server.
TEST_F(WindowsLibraries, FaultsTimeOutsAndLostConnections)
{
    Control("fault crate=KSV-C-0001 slot=1 open=fail:once");
    EXPECT_EQ(Open(), -1);
    ASSERT_EQ(Open(), 0);
    Configure();
    ASSERT_EQ(lib.KSV27_ADCStart(&record), 0);
    Control("fault crate=KSV-C-0001 slot=1 recv=stall:once");
    std::vector<uint32_t> words(100000 * KSV27_CHANNELS);
    const auto t0 = steady_clock::now();
    const int32_t n = lib.KSV27_Recv(&record, words.data(), nullptr, static_cast<uint32_t>(words.size()), 400);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(steady_clock::now() - t0).count();
    EXPECT_GE(n, 0);
    EXPECT_LT(n, static_cast<int32_t>(words.size()));
    EXPECT_GE(ms, 350);
    EXPECT_LT(ms, 2500);

    Control("drop crate=KSV-C-0001 slot=1");
    EXPECT_EQ(lib.KSV27_GetConfig(&record), -4);
    EXPECT_EQ(lib.KSV27_IsOpened(&record), -3);
    EXPECT_EQ(Open(), 0) << "the module was released";
}

TEST_F(WindowsLibraries, NoServerFailsAtOnce)
{
    const std::string port = std::getenv("KSV_SIM_PORT");
    _putenv_s("KSV_SIM_PORT", "1"); // nothing listens there
    const auto t0 = steady_clock::now();
    EXPECT_EQ(Open(), -4);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(steady_clock::now() - t0).count(), 2500);
    KsvCrateConnection c;
    lib.KSV_Init(&c);
    EXPECT_EQ(c.Port, 1);
    EXPECT_EQ(lib.KSV_Open(&c), -4);
    _putenv_s("KSV_SIM_PORT", port.c_str());
}

// A folder whose name the local code page may not hold: the loader takes it
// as UTF-8 and loads the libraries from there, not from the search path.
TEST(WindowsLoader, LoadsFromAFolderOfAnyName)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / L"\u041a\u0440\u0435\u0439\u0442 \u00e9";
    fs::create_directories(folder);
    for (const char* name : {"ksvapi.dll", "ksv27api.dll"})
        fs::copy_file(fs::path(ExecutableFolder()) / name, folder / name, fs::copy_options::overwrite_existing);
    const std::wstring wide = folder.wstring();
    std::string utf8(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
    utf8.pop_back();
    {
        TKsvLibraryLoader loader(utf8);
        EXPECT_TRUE(loader.CrateLibraryLoaded() && loader.ModuleLibraryLoaded());
        EXPECT_EQ(loader.MissingSymbols(), "");
        EXPECT_NE(GetModuleHandleW((wide + L"\\ksvapi.dll").c_str()), nullptr);
        EXPECT_NE(GetModuleHandleW((wide + L"\\ksv27api.dll").c_str()), nullptr);
    }
    std::error_code ec;
    fs::remove_all(folder, ec);
}

} // namespace
} // namespace ksv
