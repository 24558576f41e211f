// The module both benchmarks measure: one KSV27 with eight fitted
// mezzanines of every kind, in crate KSV-B-0001, slot 1.
#pragma once

namespace ksv::bench {

inline constexpr const char* kBenchCrate = "KSV-B-0001";

inline constexpr const char* kScenario = R"json({
  "crates": [ { "serial": "KSV-B-0001", "slots": [
    { "slot": 1, "id": 6939, "name": "KSV27", "serial": "27B-0001",
      "mezzanines": [
        { "name": "U10", "channels": [ { "dc": 1.0 }, { "dc": 2.0 } ] },
        { "name": "U20", "channels": [ { "dc": 3.0 }, { "dc": 4.0 } ] },
        { "name": "I5", "channels": [ { "dc": 1.0 }, { "dc": 2.0 } ] },
        { "name": "I10", "channels": [ { "dc": 3.0 }, { "dc": 4.0 } ] },
        { "name": "T", "channels": [ { "dc": 5.0 }, { "dc": 6.0 } ] },
        { "name": "R100", "channels": [ { "dc": 50.0 }, { "dc": 0.5 } ] },
        { "name": "U01", "channels": [ { "dc": 0.1 }, { "dc": 0.2 } ] },
        { "name": "I20", "channels": [ { "dc": 7.0 }, { "dc": 8.0 } ] }
      ] } ] } ]
})json";

} // namespace ksv::bench
