// ksv27-vorn-cli: list the crates and KSV27 modules, or measure with one
// from a shell. See Help.cpp for the usage and the exit statuses.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Commands.h"
#include "ExitStatus.h"
#include "Help.h"
#include "Interrupt.h"
#include "Options.h"
#include "TKsvApi.h"
#include "SettingsPath.h"
#ifdef KSV_WITH_MQTT
#include "MqttChoice.h"
#endif

int main(int argc, char** argv)
{
    using namespace ksv::cli;
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    const TParseResult parsed = ParseOptions(args);
    if (!parsed.Ok) {
        PrintError(parsed.Error + " (see ksv27-vorn-cli --help)");
        return kExitUsage;
    }
    const TOptions& options = parsed.Options;
    if (options.Command == TCommand::Help) {
        std::fputs(HelpText().c_str(), stdout);
        return kExitOk;
    }
    TChoiceResult choice;
    std::unique_ptr<TCyclePublisher> publisher;
    TPublisherFactory makePublisher; // per module: several modules, or serve
    if (options.Command == TCommand::Measure || options.Command == TCommand::Serve) {
        choice = BuildMeasureChoice(options);
        if (!choice.Ok) {
            PrintError(choice.Error);
            return kExitUsage;
        }
#ifdef KSV_WITH_MQTT
        std::string error;
        if (!options.Mqtt.Url.empty() && !(publisher = MakeMqttPublisher(options.Mqtt, PrintError, error))) {
            PrintError(error);
            return kExitUsage;
        }
        if (publisher && !choice.Choice.Several() && options.Command == TCommand::Serve) {
            // The one module's publisher, handed to the service at its first measurement.
            makePublisher = [held = std::make_shared<std::unique_ptr<TCyclePublisher>>(std::move(publisher))](int) {
                return std::move(*held);
            };
        }
        if (publisher && choice.Choice.Several()) {
            publisher.reset();
            makePublisher = [mqtt = options.Mqtt](int slot) -> std::unique_ptr<TCyclePublisher> {
                TMqttOptions own = mqtt;
                if (!own.ClientId.empty()) own.ClientId += "-" + std::to_string(slot); // one connection per module
                std::string ignored;                                                   // the options were checked once already
                return MakeMqttPublisher(own, PrintError, ignored);
            };
        }
#endif
    }
    ksv::SetKsvLibraryFolder(ksv::ExecutableFolder().c_str());
    if (options.Command == TCommand::Serve) return RunServe(choice.Choice, options, makePublisher);
    InstallInterruptHandlers();
    if (options.Command == TCommand::List) return RunList(options.ListJson);
    if (choice.Choice.Several())
        return RunMeasureScan(choice.Choice, EffectiveFormat(options), options.OutputPath, makePublisher);
    return RunMeasure(choice.Choice, EffectiveFormat(options), options.OutputPath, publisher.get());
}
