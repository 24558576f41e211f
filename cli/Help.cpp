#include "Help.h"

#include "scpi/ScpiCommands.h"

namespace ksv::cli {

// The text's layout makes the manual page (docs/man/help-to-man.awk): a
// section is a line of up to four words ending in ':'; an option is a line
// indented by two, its names and value, at least two spaces, its text, and
// lines indented further continue it; a line with a gap inside under an
// option stays a line (a table).

namespace {

const char* const kUsage = R"(ksv27-vorn-cli: the KSV27 multimeter from the command line

Usage:
  ksv27-vorn-cli list [--json]
  ksv27-vorn-cli measure [--crate SERIAL] [--slot N|LIST|all] [--rate HZ] [--time SECONDS]
                         [--slots LIST] [--cycles N | --duration SECONDS]
                         [--format table|csv|json] [--output FILE] [--settings FILE]
                         [--channels FILE] [--raw]
  ksv27-vorn-cli serve [--crate SERIAL] [--slot N|LIST|all] [--settings FILE] [--channels FILE]
                       [--listen ADDR] [--port P]
                       [--allow CIDR,...] [--max-clients N] [--idle-timeout SECONDS]
                       [--http-port P|off] [--http-max-clients N]
                       [--vxi11 on|off] [--vxi11-port P] [--announce on|off]
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
                    without both, the first crate and its first KSV27, as the window chooses.
                    Several modules of one crate, 2,5-7 or all (every KSV27 of the crate),
                    measure side by side: their cycles start together, one record per scan
                    with one time, channels numbered slot*100+ch (201..216, 501..516); JSON
                    adds "module_slot". A module that fails gives no values and one message
                    naming its slot, is tried again every 3 s, and the exit status is then 1.
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
  --channels FILE   channel labels and scaling, JSON: {"channels": {"501": {"label":
                    "P1 inlet", "gain": 625, "offset": -2.5, "unit": "bar"}}}; gain and offset
                    act on the SI value (V, A, Ohm); a label has at most 32 characters. A
                    channel is slot*100+ch (1..16 also for one module). Labels reach the CSV
                    header and JSON "label"; JSON keeps the unscaled value in "raw"
  --raw             leave the channel file's scaling off (labels stay)

Ctrl+C or SIGTERM stops the acquisition, closes the module and keeps every finished
record; the cycle under way is dropped. A second Ctrl+C exits at once.

serve     the module as a 16-channel SCPI instrument on a raw TCP socket (PyVISA:
          TCPIP::HOST::PORT::SOCKET, LF terminations) until Ctrl+C or SIGTERM, which stop
          any acquisition, close the module and exit 0. The module is chosen as measure
          chooses it; without a crate server the service still answers and opens the
          module once it can. It holds the module while it runs: the window cannot open
          it meanwhile. One line per connection, command error and failure goes to
          standard error.
  --crate, --slot, --settings, --channels   as for measure (the settings file gives
                    the module, the rate, the acquisition time and the first scan list).
                    With --slot LIST or all the modules are one instrument: channels
                    slot*100+ch, e.g. (@201:216,501:516), one time per scan, *IDN? names
                    the crate, SYST:CTYP? <slot> a module, and a failing module gives
                    9.91E+37 and one -240 naming its slot while the others measure
  --listen ADDR     address to listen on (default 127.0.0.1; 0.0.0.0 or :: for the network)
  --port P          TCP port (default 5025; 0: a free one); the first line of standard
                    output is the port
  --allow LIST      serve only these client networks, e.g. 192.168.1.0/24,10.0.0.7
                    (others are closed at once and logged)
  --max-clients N   connections served at once (default 8; more are told so and closed)
  --idle-timeout S  close a connection that sent no line and awaits no answer for S
                    seconds (default 300; 0: never)
  --http-port P|off  the read-only web page of the instrument (default 8080; 0: a
                    free one); the second line of standard output is its port, or off
  --http-max-clients N  web connections served at once (default 32)
)";

// Only where the tool is built with VXI-11 and DNS-SD (Linux).
const char* const kLan = R"(
serve also speaks VXI-11 (VISA resource TCPIP::host::INSTR), registered with the host's
portmapper (rpcbind) and, when listening beyond loopback, announced over DNS-SD
(_scpi-raw._tcp, _vxi-11._tcp, and _lxi._tcp, _http._tcp for the web page) through
avahi-daemon; without either it says so once:
  --vxi11 on|off    VXI-11 beside the socket (default on)
  --vxi11-port P    the VXI-11 core channel's port (default: a free one)
  --announce on|off  DNS-SD announcements (default on)
)";

// Only where the tool is built with its MQTT publisher.
const char* const kMqtt = R"(
measure and serve publish every cycle to an MQTT broker with:
  --mqtt URL        mqtt://host[:port][/prefix] (port 1883) or mqtts://... (TLS, port 8883);
                    the prefix (default ksv27) heads the topics
                    <prefix>/<crate>/<slot>/cycle   one JSON object per cycle, as --format json
                    <prefix>/<crate>/<slot>/ch<N>   {"time","cycle","channel","value","unit"},
                                                    when the channel has a value
                    <prefix>/<crate>/<slot>/status  retained: online, or offline (set by the
                                                    broker as the last will if the tool dies)
                    with '/', '+', '#', control and non-UTF-8 bytes of the crate serial as '_'
  --mqtt-ca FILE    certificates to trust for mqtts:// (default: the system's)
  --mqtt-credentials FILE  user name on the first line, password on the second; a
                    relative name is read from $CREDENTIALS_DIRECTORY when that is set
  --mqtt-qos 0|1|2  quality of service of the cycle and channel messages (default 1)
  --mqtt-queue N    cycles kept while the broker is away (default 100000); beyond it the
                    oldest are dropped, and standard error says how many
  --mqtt-flush SECS  at the stop, how long queued cycles may take to go out (default 5)
  --mqtt-bare-values  ch<N> carries the bare number
  --mqtt-client-id ID  the broker's client id (default ksv27-vorn-<crate>-<slot>)
The options after --mqtt require it.
A broker away is no failure: the measurement goes on and the tool reconnects (after
0.25 s, then less and less often, at most every 10 s), sending the waiting cycles in order,
at most 300 messages/s above the live ones.
)";

const char* const kExitStatus = R"(
Exit status:
  0    done: the cycles asked for were measured, or the list was printed
  1    a failure during measurement (the message on standard error), or a record
       could not be written
  2    usage error: a bad argument or settings file; the crate server was not asked
  3    no crate server, no crate with a KSV27, or the chosen module cannot be opened
  4    the --output file cannot be created
  5    serve: the address and port cannot be listened on
)";

const char* const kMqttExitStatus = R"(  6    the MQTT broker refused the user name or password at the first connection
)";

const char* const kExamples = R"(  130  measure stopped by Ctrl+C (143: by SIGTERM); serve exits 0 on either

Examples:
  ksv27-vorn-cli list
  ksv27-vorn-cli measure --cycles 5
  ksv27-vorn-cli measure --crate KSV-C-0001 --slot 5 --rate 100 --time 0.2 --slots 1,3-5
  ksv27-vorn-cli measure --duration 3600 --format csv --output overnight.csv
  ksv27-vorn-cli measure --format json --cycles 1 | jq '.channels[0].value'
  ksv27-vorn-cli measure --settings /opt/ksv27-vorn/Ksv27_Vorn.ini --cycles 10
  ksv27-vorn-cli serve --listen 0.0.0.0 --allow 192.168.1.0/24
)";

const char* const kScpiIntro = R"(
SCPI headers of serve:
Long or short form, any case; `;` between commands; values in V, A or Ohm;
+9.91000000E+37 for a channel without a value; errors per connection in
SYSTem:ERRor?, -240 "Hardware error", -241 "Hardware missing".
)";

} // namespace

std::string HelpText()
{
    std::string text = kUsage;
#if defined(KSV_WITH_VXI11) && defined(KSV_WITH_DNSSD)
    text += kLan;
#endif
#ifdef KSV_WITH_MQTT
    text += kMqtt;
#endif
    text += kExitStatus;
#ifdef KSV_WITH_MQTT
    text += kMqttExitStatus;
#endif
    return text + kExamples + kScpiIntro + scpi::CommandHelp();
}

} // namespace ksv::cli
