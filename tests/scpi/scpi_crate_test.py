#!/usr/bin/python3
"""Several KSV27 of one crate served as one SCPI instrument (serve --slot all),
driven by PyVISA's pure-Python backend against the simulated crate server:
three KSV27 of known levels and a foreign module; one time per scan, the
crate's *IDN? and SYST:CTYP?, a failing module, and `measure --slot all`
giving the same numbers.

Usage: scpi_crate_test.py BIN_DIR
"""
import json
import os
import subprocess
import sys
import tempfile

import pyvisa

sys.path.insert(0, os.path.dirname(__file__))
from scpi_visa_test import NAN, Process, check, control, failures  # noqa: E402

BIN = sys.argv[1]

CRATE = {"crates": [{"serial": "SCPI-C", "slots": [
    {"slot": 2, "serial": "27S-2", "firmware": "3.2.1.0", "mezzanines": [
        {"name": "U10", "channels": [{"dc": 1.5}, {"dc": -2.0}]}]},
    {"slot": 3, "id": 4660},
    {"slot": 5, "serial": "27S-5", "mezzanines": [
        {"name": "I20", "channels": [{"dc": 4.0}, {"dc": 20.0}]}, {"name": "EMPTY"},
        {"name": "U01", "channels": [{"dc": 0.25}, {"dc": 0.5}]}]},
    {"slot": 9, "serial": "27S-9", "mezzanines": [
        {"name": "R100", "channels": [{"dc": 47.0}, {"dc": 0.1}]}]}]}]}

# Channel number -> level in SI units; every other channel of the three has none.
LEVELS = {201: 1.5, 202: -2.0, 501: 0.004, 502: 0.020, 505: 0.25, 506: 0.5, 901: 47.0}
CHANNELS = [s * 100 + c for s in (2, 5, 9) for c in range(1, 17)]


def block(text):
    data = text.encode()
    return b"#%d%d" % (len(str(len(data))), len(data)) + data


def near(value, want):
    return abs(value - want) <= 1e-6 * max(1.0, abs(want))


def main():
    with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as f:
        json.dump(CRATE, f)
    server = Process([os.path.join(BIN, "ksv-crate-server"), "--port", "0", "--config", f.name,
                      "--parent", str(os.getpid())])
    env = dict(os.environ, KSV_SIM_PORT=str(server.port))
    with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False, encoding="utf-8") as channels:
        json.dump({"channels": {"501": {"label": "P1 inlet", "gain": 625, "offset": -2.5, "unit": "bar"},
                                "201": {"label": "Zuluft Δp"}}}, channels, ensure_ascii=False)
    service = Process([os.path.join(BIN, "ksv27-vorn-cli"), "serve", "--port", "0", "--slot", "all",
                       "--channels", channels.name], env=env)
    try:
        measure_all(server, service, env)
    finally:  # the service dies with the test, whatever happened
        service.stop()
        server.stop()
        os.unlink(f.name)
        os.unlink(channels.name)
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


def measure_all(server, service, env):
    rm = pyvisa.ResourceManager("@py")
    inst = rm.open_resource(f"TCPIP::127.0.0.1::{service.port}::SOCKET")
    inst.read_termination = inst.write_termination = "\n"
    inst.timeout = 20000

    check(inst.query("*IDN?").startswith("KSV27_Vorn ksv27-vorn-cli,KSV crate,SCPI-C,"), "*IDN? names the crate")
    check(inst.query("SYST:CTYP? 5") == "KSV,KSV27,27S-5,1.0.0.0", "SYST:CTYP? 5 names the module")
    check(inst.query("SYST:CTYP? 3") == "0,0,0,0", "SYST:CTYP? of a foreign module is 0,0,0,0")

    # The channel file's names and scaling; labels other than ASCII come as a block.
    check(inst.query("ROUT:CHAN:LAB? (@501)") == '"P1 inlet"', "the file's label")
    inst.write("ROUT:CHAN:LAB? (@201)")
    check(inst.read_raw() == block("Zuluft Δp") + b"\n", "a UTF-8 label is a definite-length block")
    check(inst.query("CALC:SCAL:GAIN? (@501);STAT? (@501,502)") == "+6.25000000E+02;1,0", "the file's scaling")
    inst.write("RATE 1000;APER 0.1;FORM:READ:UNIT ON")
    scaled = inst.query("MEAS? (@501)")
    check(scaled.endswith(" bar") and abs(float(scaled.split()[0])) < 1e-4, f"4 mA read as 0 bar ({scaled})")
    inst.write_raw(b"CALC:SCAL:STAT OFF,(@501);ROUT:CHAN:LAB " + block("Ölpumpe") + b",(@902);FORM:READ:UNIT OFF\n")
    inst.write("ROUT:CHAN:LAB? (@902)")
    check(inst.read_raw() == block("Ölpumpe") + b"\n", "a label set in UTF-8")

    inst.write("FORM:READ:TIME ON;FORM:READ:CHAN ON")
    values = inst.query_ascii_values("MEAS? (@201:216,501:516,901:916)")
    triples = [values[i:i + 3] for i in range(0, len(values), 3)]
    check(len(triples) == 48, f"one reading per channel ({len(triples)})")
    numbers = [int(t[2]) for t in triples]
    check(numbers == CHANNELS, "channels answered as slot*100+ch")
    got = {int(t[2]): t[0] for t in triples}
    check(all(near(got[c], v) for c, v in LEVELS.items()), f"each module's levels {[got[c] for c in LEVELS]}")
    check(got[203] == NAN and got[902] == NAN, "a channel without a value is 9.91E+37")
    check(len({t[1] for t in triples}) == 1, "one time for every channel of a scan")

    inst.write("ROUT:SCAN (@215:502)")
    check(inst.query("SYST:ERR?").startswith("-222"), "a range across slots is -222")

    control(server, "fault crate=SCPI-C slot=9 recv=fail")
    inst.write("FORM:READ:TIME OFF;FORM:READ:CHAN OFF")
    faulted = inst.query_ascii_values("MEAS? (@201,901)")
    check(near(faulted[0], 1.5) and faulted[1] == NAN, f"the failing module gives 9.91E+37 ({faulted})")
    error = inst.query("SYST:ERR?")
    check(error.startswith("-240") and "slot 9" in error, f"one -240 naming its slot ({error})")
    check(inst.query("SYST:ERR?").startswith("0,"), "and only one")
    control(server, "clear")
    again = inst.query_ascii_values("MEAS? (@901)")
    check(near(again[0], 47.0), "the module is opened again at the next MEAS?")
    inst.close()
    service.stop()  # it holds the modules

    tool = subprocess.run([os.path.join(BIN, "ksv27-vorn-cli"), "measure", "--slot", "all", "--rate", "1000",
                           "--time", "0.1", "--cycles", "1", "--format", "json"], env=env, capture_output=True,
                          text=True, timeout=60)
    record = json.loads(tool.stdout.splitlines()[0]) if tool.returncode == 0 else {"channels": []}
    scale = {"mV": 1e-3, "mA": 1e-3, "Ohm": 1.0}
    measured = {c["channel"]: c["value"] * scale[c["unit"]] for c in record["channels"] if c["value"] is not None}
    check(all(near(measured.get(c, 0.0), v) for c, v in LEVELS.items()), "measure --slot all gives the same numbers")


if __name__ == "__main__":
    sys.exit(main())
