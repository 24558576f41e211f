// The --mqtt options as given on the command line, checked for their form by
// the option parser; BuildMqttSettings (mqtt/MqttChoice.h) checks the rest.
// A build without libmosquitto has no such options.
#pragma once

#include <cstddef>
#include <string>

namespace ksv::cli {

struct TMqttOptions {
    std::string Url;                  // --mqtt URL; empty: no publishing
    std::string CaFile;               // --mqtt-ca FILE (mqtts only)
    int Qos = 1;                      // --mqtt-qos 0|1|2
    std::string CredentialsPath;      // --mqtt-credentials FILE
    std::size_t QueueCycles = 100000; // --mqtt-queue N, at least 1
    double FlushSeconds = 5.0;        // --mqtt-flush SECONDS, 0 or more
    bool BareValues = false;          // --mqtt-bare-values
    std::string ClientId;             // --mqtt-client-id ID; empty: from the crate and slot
};

} // namespace ksv::cli
