// What the tests of the simulated crate system share: a server per test,
// the loaded libraries, a scenario with known levels, and helpers to open,
// configure and read a module.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "SimLibraries.h"
#include "SimServerProcess.h"
#include "ksvapi.h"

namespace ksv::simtest {

// Crate TC-1 slot 2 is the module most tests read; its levels, coefficients
// and noise are repeated in kTestLevels below.
inline const char* kTestScenario = R"json({
  "crates": [
    { "serial": "TC-1", "slots": [
      { "slot": 2, "id": 6939, "name": "KSV27", "serial": "27T-0001", "firmware": "1.2.3.4", "divisor": 4,
        "mezzanines": [
          { "name": "U10", "serial": "S-U10", "coefs": [0.05, 1.04, 0.03, 0.97],
            "channels": [ { "dc": 2.5, "noise": 0.02, "seed": 5 }, { "dc": -3.75, "amplitude": 1.0, "frequency": 10 } ] },
          { "name": "R100", "serial": "S-R100", "coefs": [1.5, 1.02, 0.01, 0.99],
            "channels": [ { "dc": 47.0 }, { "dc": 0.47 } ] },
          { "name": "T", "serial": "S-T", "coefs": [0.8, 1.03, -0.6, 0.975],
            "channels": [ { "dc": 4.096 }, { "dc": 10.25 } ] },
          { "name": "I5", "serial": "S-I5-A-VERY-LONG-SERIAL", "coefs": [0.05, 1.02, -0.04, 0.985],
            "channels": [ { "dc": 1.25 }, { "dc": 4.0 } ] },
          { "name": "EMPTY" },
          { "name": "UDEF" },
          { "name": "U20", "serial": "S-U20", "coefs": [0.1, 0.96, -0.08, 1.03],
            "channels": [ { "dc": 12.0 }, { "dc": -15.5 } ] },
          { "name": "I20", "serial": "S-I20", "coefs": [0.2, 1.03, -0.15, 0.96],
            "channels": [ { "dc": 15.0 }, { "dc": -18.5 } ] }
        ] },
      { "slot": 3, "id": 4660 },
      { "slot": 4, "id": "0x1B1B", "serial": "27T-0002",
        "mezzanines": [ { "name": "U01", "channels": [ { "dc": 0.5 }, { "dc": -0.25 } ] } ] }
    ] },
    { "serial": "TC-2", "slots": [ { "slot": 1, "serial": "27T-0003" } ] },
    { "serial": "TC-LONG-SERIAL-NUMBER-1", "slots": [ { "slot": 16, "serial": "27T-0016" }, { "slot": 20, "id": 77 } ] }
  ]
})json";

struct ChannelLevel {
    double Dc, Offset, Scale, Noise;
};
// Channel c of TC-1 slot 2: the level, the description coefficients of its
// half of the mezzanine, and the noise bound (a sine counts as noise when
// the mean is not taken over whole periods).
inline const ChannelLevel kTestLevels[16] = {
    {2.5, 0.05, 1.04, 0.02},
    {-3.75, 0.03, 0.97, 0.0},
    {47.0, 1.5, 1.02, 0.0},
    {0.47, 0.01, 0.99, 0.0},
    {4.096, 0.8, 1.03, 0.0},
    {10.25, -0.6, 0.975, 0.0},
    {1.25, 0.05, 1.02, 0.0},
    {4.0, -0.04, 0.985, 0.0},
    {0.0, 0.0, 1.0, 0.0},
    {0.0, 0.0, 1.0, 0.0},
    {0.0, 0.0, 1.0, 0.0},
    {0.0, 0.0, 1.0, 0.0},
    {12.0, 0.1, 0.96, 0.0},
    {-15.5, -0.08, 1.03, 0.0},
    {15.0, 0.2, 1.03, 0.0},
    {-18.5, -0.15, 0.96, 0.0},
};

using Clock = std::chrono::steady_clock;
inline double MsSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Follows the channel numbers of a module's word stream across reads: each
// word must carry the channel after the one before it (0..15 in turn), or a
// word was lost or repeated.
class StreamOrder {
public:
    void Check(const uint32_t* words, int32_t n)
    {
        for (int32_t i = 0; i < n; ++i) {
            ASSERT_EQ(words[i] >> 28, next_) << "the stream lost or repeated a word";
            next_ = (next_ + 1) % KSV27_CHANNELS;
        }
    }

private:
    uint32_t next_ = 0;
};

class SimTest : public ::testing::Test {
protected:
    const SimLibraries& L = SimLibraries::Get();
    SimServerProcess server;

    void Serve(const std::string& json = kTestScenario)
    {
        ASSERT_TRUE(server.Start(json)) << server.Error();
        server.ExportPort();
    }

    void TearDown() override
    {
        if (server.Running()) {
            EXPECT_EQ(server.Stop(), 0) << "the server did not exit cleanly";
        }
    }

    void Control(const std::string& command)
    {
        std::string reply;
        ASSERT_TRUE(server.Control(command, &reply)) << command << " -> " << reply;
    }

    int32_t OpenModule(Ksv27ModuleRecord& r, const char* crate = "TC-1", int slot = 2)
    {
        std::memset(&r, 0, sizeof r);
        return L.ModOpen(&r, KSV_SERVER_ADDRESS, KSV_SERVER_PORT, crate, slot);
    }

    // Init and Open of a crate connection.
    void OpenConnection(KsvCrateConnection& c)
    {
        L.Init(&c);
        ASSERT_EQ(L.Open(&c), 0);
    }

    // GetConfig, GetDescription, the divisor and (when `copyCoefs`) the
    // description coefficients into the configuration, then SetConfig.
    void Configure(Ksv27ModuleRecord& r, uint8_t divisor, bool copyCoefs)
    {
        ASSERT_EQ(L.GetConfig(&r), 0);
        ASSERT_EQ(L.GetDescription(&r, KSV27_DESCRIPTION_MASK), 0);
        r.AdcRateDivisor = divisor;
        if (copyCoefs) {
            for (int m = 0; m < KSV27_MEZZANINES; ++m)
                std::memcpy(r.Mezzanines[m].MezzanineCoefs, Ksv27MezzanineDescOf(&r, m)->MezzanineDescCoefs,
                            sizeof r.Mezzanines[m].MezzanineCoefs);
        }
        ASSERT_EQ(L.SetConfig(&r), 0);
    }

    // Opens TC-1 slot 2, configures it at `divisor` with the description
    // coefficients copied, and starts its acquisition.
    void OpenAndStart(Ksv27ModuleRecord& r, uint8_t divisor)
    {
        ASSERT_EQ(OpenModule(r), 0);
        Configure(r, divisor, true);
        ASSERT_EQ(L.Start(&r), 0);
    }

    // Receives exactly `frames` frames, failing the test otherwise.
    std::vector<uint32_t> Acquire(Ksv27ModuleRecord& r, size_t frames, uint32_t timeoutMs = 5000)
    {
        std::vector<uint32_t> words(frames * KSV27_CHANNELS);
        int32_t n = L.Recv(&r, words.data(), nullptr, static_cast<uint32_t>(words.size()), timeoutMs);
        EXPECT_EQ(n, static_cast<int32_t>(words.size()));
        words.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return words;
    }

    // Mean value of each channel over `words`, through ProcessData.
    std::vector<double> ChannelMeans(Ksv27ModuleRecord& r, const std::vector<uint32_t>& words)
    {
        std::vector<double> values(words.size());
        uint32_t count = static_cast<uint32_t>(words.size());
        EXPECT_EQ(L.ProcessData(&r, words.data(), values.data(), &count, 1, 1), 0);
        EXPECT_EQ(count, words.size());
        std::vector<double> sum(KSV27_CHANNELS, 0.0);
        std::vector<int> n(KSV27_CHANNELS, 0);
        for (size_t i = 0; i < words.size(); ++i) {
            int c = static_cast<int>(words[i] >> 28);
            sum[c] += values[i];
            ++n[c];
        }
        for (int c = 0; c < KSV27_CHANNELS; ++c) sum[c] = n[c] ? sum[c] / n[c] : NAN;
        return sum;
    }
};

} // namespace ksv::simtest
