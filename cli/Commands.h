// The commands of ksv27-vorn-cli. Each returns the process's exit status
// (ExitStatus.h) and writes its failure messages to standard error.
#pragma once

#include "CyclePublisher.h"
#include "MeasureChoice.h"
#include "Options.h"
#include "ScanPublisher.h"

namespace ksv::cli {

int RunList(bool json);
// `publisher`, when given, gets every cycle and is stopped at the end.
int RunMeasure(const TMeasureChoice& choice, TFormat format, const std::string& outputPath,
               TCyclePublisher* publisher = nullptr);
// Several modules of one crate (choice.Several()), one record per scan.
// `makePublisher`, when set, makes each module's publisher.
int RunMeasureScan(const TMeasureChoice& choice, TFormat format, const std::string& outputPath,
                   const TPublisherFactory& makePublisher = {});
// `makePublisher`, when set, makes each served module's publisher at the
// first measurement; they get every scan and are stopped at the end.
int RunServe(const TMeasureChoice& choice, const TOptions& options, const TPublisherFactory& makePublisher = {});

// "ksv27-vorn-cli: " + text + '\n' on standard error.
void PrintError(const std::string& text);

} // namespace ksv::cli
