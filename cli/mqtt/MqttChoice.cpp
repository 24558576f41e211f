#include "MqttChoice.h"

#include <fstream>

namespace ksv::cli {

std::unique_ptr<TMqttPublisher> MakeMqttPublisher(const TMqttOptions& options,
                                                  std::function<void(const std::string&)> log, std::string& error)
{
    TMqttSettings settings;
    std::string why;
    const std::optional<TMqttUrl> url = ParseMqttUrl(options.Url, why);
    if (!url) {
        // A URL with a password in it is not repeated into logs.
        const bool secret = options.Url.find('@') != std::string::npos;
        error = (secret ? std::string("bad value") : "bad value '" + options.Url + "'") + " for --mqtt: " + why;
        return nullptr;
    }
    settings.Url = *url;
    if (!options.CaFile.empty()) {
        if (!url->Tls) {
            error = "--mqtt-ca is for an mqtts:// broker";
            return nullptr;
        }
        if (!std::ifstream(options.CaFile)) {
            error = "cannot read the --mqtt-ca file " + options.CaFile;
            return nullptr;
        }
        settings.CaFile = options.CaFile;
    }
    if (!options.CredentialsPath.empty()) {
        settings.Credentials = ReadMqttCredentials(options.CredentialsPath, error);
        if (!settings.Credentials) return nullptr;
    }
    settings.Qos = options.Qos;
    settings.QueueCycles = options.QueueCycles;
    settings.FlushSeconds = options.FlushSeconds;
    settings.Log = std::move(log);
    return std::make_unique<TMqttPublisher>(std::move(settings));
}

} // namespace ksv::cli
