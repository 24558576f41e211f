// The scenario the server plays when it is given none. Each channel has a
// level of its own: steady on the first crate's first module; on its second
// module each one drifts slowly (periods of three to nine minutes) with a
// little noise, a small voltage beside a large one among them, so a trend
// shows movement at any acquisition time. The coefficients of every
// mezzanine are those that undo the deliberate gain and offset error of its
// raw codes, so a program that copies them into its configuration shows
// exactly these levels.
#include "Scenario.h"

namespace ksv::sim {

namespace {
constexpr const char kDemo[] = R"json({
  "comment": "Built-in demo of ksv-crate-server: three crates, three KSV27 modules, three foreign modules.",
  "crates": [
    {
      "serial": "KSV-C-0001",
      "slots": [
        {
          "slot": 1, "id": 6939, "name": "KSV27", "serial": "27A-1001", "firmware": "3.2.1.0", "divisor": 0,
          "mezzanines": [
            { "name": "U01", "serial": "MZU01-0101", "coefs": [0.004, 1.025, -0.003, 0.98],
              "channels": [ { "dc": 0.125 }, { "dc": 0.25 } ] },
            { "name": "U10", "serial": "MZU10-0102", "coefs": [0.05, 1.04, 0.03, 0.97],
              "channels": [ { "dc": 2.5 }, { "dc": -3.75 } ] },
            { "name": "U20", "serial": "MZU20-0103", "coefs": [0.1, 0.96, -0.08, 1.03],
              "channels": [ { "dc": 12.0 }, { "dc": -15.5 } ] },
            { "name": "T", "serial": "MZT-0104", "coefs": [0.8, 1.03, -0.6, 0.975],
              "channels": [ { "dc": 4.096 }, { "dc": 10.25 } ] },
            { "name": "I5", "serial": "MZI5-0105", "coefs": [0.05, 1.02, -0.04, 0.985],
              "channels": [ { "dc": 1.25 }, { "dc": 4.0 } ] },
            { "name": "I10", "serial": "MZI10-0106", "coefs": [0.1, 0.97, 0.08, 1.035],
              "channels": [ { "dc": 7.5 }, { "dc": -2.5 } ] },
            { "name": "R100", "serial": "MZR100-0107", "coefs": [1.5, 1.02, 0.01, 0.99],
              "channels": [ { "dc": 47.0 }, { "dc": 0.47 } ] },
            { "name": "EMPTY" }
          ]
        },
        { "slot": 2, "id": 2577 },
        {
          "slot": 5, "id": 6939, "name": "KSV27", "serial": "27A-1002", "firmware": "3.2.1.0",
          "mezzanines": [
            { "name": "I20", "serial": "MZI20-0201", "coefs": [0.2, 1.03, -0.15, 0.96],
              "channels": [ { "dc": 15.0, "amplitude": 0.05, "frequency": 0.004167, "noise": 0.02, "seed": 5 },
                            { "dc": -18.5, "amplitude": 0.03, "frequency": 0.002778, "noise": 0.02, "seed": 6 } ] },
            { "name": "R250", "serial": "MZR250-0202", "coefs": [3.0, 0.975, -0.02, 1.02],
              "channels": [ { "dc": 220.0, "amplitude": 0.4, "frequency": 0.002083, "noise": 0.1, "seed": 7 },
                            { "dc": 1.1 } ] },
            { "name": "UDEF" },
            { "name": "U10", "serial": "MZU10-0204", "coefs": [-0.04, 1.05, 0.06, 0.955],
              "channels": [ { "dc": 9.5, "amplitude": 0.004, "frequency": 0.003333, "noise": 0.002, "seed": 42 },
                            { "dc": 0.0125, "amplitude": 0.0005, "frequency": 0.005556, "noise": 0.0004, "seed": 43 } ] },
            { "name": "T", "serial": "MZT-0205", "coefs": [0.5, 0.97, 0.3, 1.04],
              "channels": [ { "dc": 1.5, "amplitude": 0.002, "frequency": 0.004762, "noise": 0.001, "seed": 8 },
                            { "dc": 2.75, "amplitude": 0.003, "frequency": 0.002381, "noise": 0.001, "seed": 9 } ] },
            { "name": "EMPTY" },
            { "name": "U01", "serial": "MZU01-0207", "coefs": [0.006, 0.97, -0.005, 1.03],
              "channels": [ { "dc": 0.0625, "amplitude": 0.0002, "frequency": 0.003704, "noise": 0.0002, "seed": 10 },
                            { "dc": -0.5, "amplitude": 0.0003, "frequency": 0.002564, "noise": 0.0002, "seed": 11 } ] },
            { "name": "I5", "serial": "MZI5-0208", "coefs": [-0.03, 1.04, 0.02, 0.965],
              "channels": [ { "dc": 2.5, "amplitude": 0.01, "frequency": 0.00303, "noise": 0.005, "seed": 12 },
                            { "dc": 3.3, "amplitude": 0.008, "frequency": 0.001852, "noise": 0.005, "seed": 13 } ] }
          ]
        },
        { "slot": 9, "id": 10794 }
      ]
    },
    {
      "serial": "KSV-C-0002",
      "slots": [
        {
          "slot": 3, "id": 6939, "name": "KSV27", "serial": "27B-2001", "firmware": "2.9.0.1", "divisor": 9,
          "mezzanines": [
            { "name": "R100", "serial": "MZR100-0301", "coefs": [-1.2, 1.015, 0.012, 0.985],
              "channels": [ { "dc": 99.5 }, { "dc": 0.995 } ] },
            { "name": "U20", "serial": "MZU20-0302", "coefs": [0.12, 1.02, -0.1, 0.97],
              "channels": [ { "dc": 19.0, "noise": 0.05, "seed": 3 }, { "dc": -0.75 } ] },
            { "name": "I10", "serial": "MZI10-0303", "coefs": [0.06, 0.98, -0.07, 1.025],
              "channels": [ { "dc": 9.0 }, { "dc": 0.333 } ] },
            { "name": "Q50", "serial": "MZQ50-0304",
              "channels": [ { "dc": 0.5 }, { "dc": -0.5 } ] },
            { "name": "EMPTY" },
            { "name": "UDEF" },
            { "name": "EMPTY" },
            { "name": "T", "serial": "MZT-0308", "coefs": [1.0, 1.02, -0.8, 0.98],
              "channels": [ { "dc": -3.5 }, { "dc": 6.0 } ] }
          ]
        },
        { "slot": 7, "id": 3084 }
      ]
    },
    { "serial": "KSV-C-0003", "slots": [] }
  ]
}
)json";
} // namespace

std::string_view DemoScenarioJson() { return {kDemo, sizeof kDemo - 1}; }

} // namespace ksv::sim
