#include "MqttChoice.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <openssl/pem.h>
#include <openssl/x509.h>

namespace ksv::cli {

namespace {

// The text with its control bytes as '?', for a message.
std::string Printable(std::string text)
{
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text;
}

// True when the file holds at least one PEM certificate.
bool HoldsCertificate(const std::string& path)
{
    BIO* file = BIO_new_file(path.c_str(), "r");
    if (!file) return false;
    X509* certificate = PEM_read_bio_X509(file, nullptr, nullptr, nullptr);
    const bool found = certificate != nullptr;
    X509_free(certificate);
    BIO_free(file);
    return found;
}

// A relative credentials file name is one the service manager handed over
// in $CREDENTIALS_DIRECTORY, when that is set.
std::string CredentialsFile(const std::string& path)
{
    const char* folder = std::getenv("CREDENTIALS_DIRECTORY");
    if (!folder || !*folder || std::filesystem::path(path).is_absolute()) return path;
    return (std::filesystem::path(folder) / path).string();
}

} // namespace

std::unique_ptr<TMqttPublisher> MakeMqttPublisher(const TMqttOptions& options,
                                                  std::function<void(const std::string&)> log, std::string& error)
{
    TMqttSettings settings;
    std::string why;
    const std::optional<TMqttUrl> url = ParseMqttUrl(options.Url, why);
    if (!url) {
        // A URL with a password in it is not repeated into logs.
        const bool secret = options.Url.find('@') != std::string::npos;
        error = (secret ? std::string("bad value") : "bad value '" + Printable(options.Url) + "'") + " for --mqtt: " + why;
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
        if (!HoldsCertificate(options.CaFile)) {
            error = "the --mqtt-ca file " + options.CaFile + " holds no PEM certificate";
            return nullptr;
        }
        settings.CaFile = options.CaFile;
    }
    if (!options.CredentialsPath.empty()) {
        settings.Credentials = ReadMqttCredentials(CredentialsFile(options.CredentialsPath), error);
        if (!settings.Credentials) return nullptr;
    }
    settings.Qos = options.Qos;
    settings.QueueCycles = options.QueueCycles;
    settings.FlushSeconds = options.FlushSeconds;
    settings.BareValues = options.BareValues;
    settings.ClientId = options.ClientId;
    settings.Log = std::move(log);
    return std::make_unique<TMqttPublisher>(std::move(settings));
}

} // namespace ksv::cli
