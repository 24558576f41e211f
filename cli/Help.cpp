#include "Help.h"

namespace ksv::cli {

const char* HelpText()
{
    return R"(ksv27-vorn-cli: the KSV27 multimeter from the command line

Usage:
  ksv27-vorn-cli list [--json]
  ksv27-vorn-cli measure [--crate SERIAL] [--slot N] [--rate HZ] [--time SECONDS]
                         [--slots LIST] [--cycles N | --duration SECONDS]
                         [--format table|csv|json] [--output FILE] [--settings FILE]
  ksv27-vorn-cli --help

list      every crate the local crate server knows and, per crate, each KSV27 with
          its slot, serial number, firmware version and its eight mezzanines.
          --json prints the same as one JSON object.

measure   opens a module and measures in cycles as the window does: every cycle
          acquires all channels for the acquisition time, averages each active
          channel and writes one record: the cycle's start time (UTC), its number,
          then each active channel's value (the text the window shows) and unit.
  --crate SERIAL    crate serial number (default: the first crate that has the module)
  --slot N          crate slot 1..16 of the module (default: the crate's first KSV27);
                    without both, the first crate and its first KSV27, as the window chooses
  --rate HZ         5, 10, 20, 50, 100, 200, 500 or 1000 samples/s per channel (default 5)
  --time SECONDS    acquisition time of one cycle, > 0 (default 1)
  --slots LIST      mezzanine slots 1..8 that take part, e.g. 1,3-5 (default: every fitted one)
  --cycles N        stop after N cycles
  --duration SECS   stop after the cycle during which SECS have passed
                    (without --cycles or --duration: until Ctrl+C)
  --format FMT      table (default on the terminal), csv (default with --output) or json
                    (one object per line)
  --output FILE     write the records into FILE (a new file; it must not exist), flushed
                    to disk after every cycle
  --settings FILE   take crate, slot, rate index, acquisition time and slot choices from a
                    settings file of the program (read only); options given here win

Ctrl+C or SIGTERM stops the acquisition, closes the module and keeps every finished
record; the cycle under way is dropped. A second Ctrl+C exits at once.

Exit status:
  0    done: the cycles asked for were measured, or the list was printed
  1    a failure during measurement (the message on standard error), or a record
       could not be written
  2    usage error: a bad argument or settings file; the crate server was not asked
  3    no crate server, no crate with a KSV27, or the chosen module cannot be opened
  4    the --output file cannot be created
  130  stopped by Ctrl+C (143: by SIGTERM)

Examples:
  ksv27-vorn-cli list
  ksv27-vorn-cli measure --cycles 5
  ksv27-vorn-cli measure --crate KSV-C-0001 --slot 5 --rate 100 --time 0.2 --slots 1,3-5
  ksv27-vorn-cli measure --duration 3600 --format csv --output overnight.csv
  ksv27-vorn-cli measure --format json --cycles 1 | jq '.channels[0].value'
  ksv27-vorn-cli measure --settings /opt/ksv27-vorn/Ksv27_Vorn.ini --cycles 10
)";
}

} // namespace ksv::cli
