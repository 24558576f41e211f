// The instrument's VISA resource strings and its LXI identification
// document, from what the service is.
#pragma once

#include <string>
#include <vector>

#include "WebJson.h"

namespace ksv::scpi {
struct TModuleFacts;
}

namespace ksv::web {

// "TCPIP::host::5025::SOCKET", and "TCPIP::host::INSTR" where VXI-11 runs.
std::vector<std::string> ResourceStrings(const TServiceFacts& service);

// The identification XML of the instrument (manufacturer, model, serial,
// firmware, the address strings).
std::string IdentificationXml(const scpi::TModuleFacts& facts, const TServiceFacts& service);

// Text for XML or HTML: & < > " ' as entities, control characters dropped.
std::string XmlEscape(const std::string& text);

} // namespace ksv::web
