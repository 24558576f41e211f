// Publishing a scan of several modules: one publisher per module, each under
// its own module's topics (<prefix>/<crate>/<slot>/...), every module's
// cycle with the scan's one time stamp, and each module's status naming it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CrateScan.h"
#include "CyclePublisher.h"

namespace ksv::cli {

// Makes the publisher of the module in crate slot `slot`; null when it
// cannot be had.
using TPublisherFactory = std::function<std::unique_ptr<TCyclePublisher>(int slot)>;

class TScanPublisher {
public:
    explicit TScanPublisher(TPublisherFactory make) : make_(std::move(make)) {}
    // One publisher per module of `runs` (in scan order), started; made at
    // the first call, and started again with its module's new run at each
    // later one (the modules and their order stay those of the first).
    void Start(const std::vector<TRunDescription>& runs);
    // Every module's cycle of the scan, on the scan's thread; never waits for the network.
    void Publish(const TScan& scan);
    bool Refused() const;
    // Stops each; the first refusal's message, else "".
    std::string Stop();

private:
    TPublisherFactory make_;
    std::vector<std::unique_ptr<TCyclePublisher>> publishers_; // by scan position; null: none
};

} // namespace ksv::cli
