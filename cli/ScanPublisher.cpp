#include "ScanPublisher.h"

namespace ksv::cli {

void TScanPublisher::Start(const std::vector<TRunDescription>& runs)
{
    if (publishers_.empty())
        for (const TRunDescription& run : runs) publishers_.push_back(make_(run.Slot));
    for (std::size_t i = 0; i < runs.size() && i < publishers_.size(); ++i)
        if (publishers_[i]) publishers_[i]->Start(runs[i]);
}

void TScanPublisher::Publish(const TScan& scan)
{
    for (std::size_t i = 0; i < scan.Modules.size() && i < publishers_.size(); ++i)
        if (publishers_[i]) publishers_[i]->Publish(scan.Modules[i].Cycle);
}

bool TScanPublisher::Refused() const
{
    for (const auto& publisher : publishers_)
        if (publisher && publisher->Refused()) return true;
    return false;
}

std::string TScanPublisher::Stop()
{
    std::string refusal;
    for (const auto& publisher : publishers_) {
        if (!publisher) continue;
        const std::string text = publisher->Stop();
        if (refusal.empty()) refusal = text;
    }
    return refusal;
}

} // namespace ksv::cli
