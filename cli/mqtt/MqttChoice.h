// The publisher the --mqtt options ask for, checked in full before any
// library call: the URL, the CA file and the credentials file.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "MqttOptions.h"
#include "MqttPublisher.h"

namespace ksv::cli {

// Empty with `error` set (one line, a usage error) when an option is bad.
std::unique_ptr<TMqttPublisher> MakeMqttPublisher(const TMqttOptions& options,
                                                  std::function<void(const std::string&)> log, std::string& error);

} // namespace ksv::cli
