// A service the tool publishes every cycle to while it measures, beside the
// records it writes (the MQTT publisher, where the tool is built with it).
#pragma once

#include <string>

#include "CycleResult.h"

namespace ksv::cli {

class TCyclePublisher {
public:
    virtual ~TCyclePublisher() = default;
    // Once the module is configured: the run names the module.
    virtual void Start(const TRunDescription& run) = 0;
    // Every cycle, on the acquisition's thread; never waits for the network.
    virtual void Publish(const TCycleResult& cycle) = 0;
    // The service refused the tool for good (its credentials at the first
    // connection): the run stops and the tool exits with kExitPublishRefused.
    virtual bool Refused() const = 0;
    // Ends the publishing, sending what is left within its time bound; the
    // message for the refusal when Refused(), else "".
    virtual std::string Stop() = 0;
};

} // namespace ksv::cli
