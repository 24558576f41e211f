#include "MqttStatus.h"

#include "CycleCsv.h"
#include "JsonText.h"
#include "MeasureCore.h"

namespace ksv::cli {

std::string StatusJson(const TRunDescription& run, bool online,
                       std::optional<std::chrono::system_clock::time_point> time)
{
    std::string out = std::string("{\"state\":") + (online ? "\"online\"" : "\"offline\"");
    out += ",\"crate\":" + JsonString(run.CrateSerial) + ",\"slot\":" + std::to_string(run.Slot);
    out += ",\"module\":" + JsonString(run.ModuleSerial) + ",\"firmware\":" + JsonString(run.Firmware);
    out += ",\"rate_hz\":" + FormatFixed(run.RateHz, 0);
    out += ",\"acquisition_time_s\":" + FormatFixed(run.AcquisitionTime, 3);
    if (time) out += ",\"time\":" + JsonString(IsoUtcTime(*time));
    return out + '}';
}

} // namespace ksv::cli
