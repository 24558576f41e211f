#include "ServiceResources.h"

#include "Version.h"
#include "scpi/Instrument.h"

namespace ksv::web {

std::vector<std::string> ResourceStrings(const TServiceFacts& service)
{
    const std::string host = service.Host.find(':') != std::string::npos ? "[" + service.Host + "]" : service.Host;
    std::vector<std::string> out{"TCPIP::" + host + "::" + std::to_string(service.ScpiPort) + "::SOCKET"};
    if (service.Vxi11) out.push_back("TCPIP::" + host + "::INSTR");
    return out;
}

std::string XmlEscape(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            if (static_cast<unsigned char>(c) >= 0x20) out += c;
        }
    }
    return out;
}

std::string IdentificationXml(const scpi::TModuleFacts& facts, const TServiceFacts& service)
{
    const auto element = [](const char* name, const std::string& value) {
        return std::string("  <") + name + ">" + XmlEscape(value) + "</" + name + ">\n";
    };
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<LXIDevice xmlns=\"http://www.lxistandard.org/InstrumentIdentification/1.0\" "
                      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n";
    out += element("Manufacturer", "KSV27_Vorn");
    out += element("Model", facts.Model.empty() ? "KSV27" : facts.Model);
    out += element("SerialNumber", facts.Serial.empty() ? "0" : facts.Serial);
    out += element("FirmwareRevision", facts.Firmware.empty() ? "0" : facts.Firmware);
    out += element("ManufacturerDescription", std::string("KSV27 multimeter, ksv27-vorn-cli ") + KSV27_VERSION_TEXT);
    out += element("HomepageURL", "/");
    out += element("IdentificationURL", "/lxi/identification");
    out += "  <Interface xsi:type=\"NetworkInformation\" InterfaceType=\"LXI\" IPType=\"IPv4\" "
           "InterfaceName=\"eth0\">\n";
    for (const std::string& resource : ResourceStrings(service))
        out += "  " + element("InstrumentAddressString", resource);
    out += "  </Interface>\n</LXIDevice>\n";
    return out;
}

} // namespace ksv::web
