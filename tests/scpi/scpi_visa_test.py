#!/usr/bin/python3
"""ksv27-vorn-cli serve end to end, driven by PyVISA's pure-Python backend:
the real service against the simulated crate server's demo, on 127.0.0.1.

Usage: scpi_visa_test.py BIN_DIR   (the folder of ksv27-vorn-cli and ksv-crate-server)
"""
import json
import math
import os
import re
import signal
import socket
import subprocess
import sys
import time

import pyvisa

BIN = sys.argv[1]
NAN = 9.91e37
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Process:
    """A child whose first line of standard output is its port."""

    def __init__(self, args, env=None):
        self.proc = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env)
        line = self.proc.stdout.readline()
        self.port = int(line.split(":")[-1].split()[0]) if line else 0

    def stop(self, sig=signal.SIGTERM):
        if self.proc.poll() is None:
            self.proc.send_signal(sig)
        try:
            return self.proc.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            return self.proc.wait()


def crate_server(port=0):
    return Process([os.path.join(BIN, "ksv-crate-server"), "--port", str(port), "--parent", str(os.getpid())])


def control(server, command):
    out = subprocess.run([os.path.join(BIN, "ksv-crate-server"), "--port", str(server.port), "--control", command],
                         capture_output=True, text=True, timeout=10).stdout
    return out


def serve(sim_port):
    env = dict(os.environ, KSV_SIM_PORT=str(sim_port))
    return Process([os.path.join(BIN, "ksv27-vorn-cli"), "serve", "--port", "0"], env=env)


def open_instrument(rm, port, timeout_ms=10000):
    inst = rm.open_resource(f"TCPIP::127.0.0.1::{port}::SOCKET")
    inst.read_termination = "\n"
    inst.write_termination = "\n"
    inst.timeout = timeout_ms
    return inst


def error_code(inst):
    return int(inst.query("SYST:ERR?").split(",")[0])


def expected_si(demo):
    """Channel by channel, what the demo's first module reads in V, A or Ohm."""
    module = demo["crates"][0]["slots"][0]
    values = []
    for mezzanine in module["mezzanines"]:
        name = mezzanine["name"]
        levels = [c.get("dc", 0.0) for c in mezzanine.get("channels", [{}, {}])]
        if name.startswith("U"):
            values += levels
        elif name in ("T",) or name.startswith("I"):
            values += [v / 1000 for v in levels]
        elif name.startswith("R"):
            values += [levels[0], NAN]
        else:
            values += [NAN, NAN]
    return values


def window_si(line):
    """The values a `measure --format json` record prints (read as text, as
    JSON numbers would lose their digits), scaled to SI, each with half a
    unit of its last digit as the tolerance; channels it leaves out are NaN."""
    values = [(NAN, 0)] * 16
    for channel, unit, text in re.findall(r'"channel":(\d+),[^}]*"unit":"(\w*)","value":([^,}]+)', line):
        if text == "null":
            continue
        scale = 1e-3 if unit in ("mV", "mA") else 1.0
        decimals = len(text.split(".")[1]) if "." in text else 0
        values[int(channel) - 1] = (float(text) * scale, 0.5 * 10 ** -decimals * scale)
    return values


def close_to(a, b, tolerance):
    return (a == NAN and b == NAN) or abs(a - b) <= tolerance


def main():
    rm = pyvisa.ResourceManager("@py")
    server = crate_server()
    demo = json.loads(subprocess.run([os.path.join(BIN, "ksv-crate-server"), "--print-demo"],
                                     capture_output=True, text=True).stdout)
    # The tool's own reading of the same module, before the service holds it.
    env = dict(os.environ, KSV_SIM_PORT=str(server.port))
    measured = subprocess.run([os.path.join(BIN, "ksv27-vorn-cli"), "measure", "--cycles", "1", "--format", "json"],
                              capture_output=True, text=True, env=env, timeout=60)
    window = window_si(measured.stdout.splitlines()[0])

    service = serve(server.port)
    check(service.port > 0, "serve --port 0 names its port on the first line")
    inst = open_instrument(rm, service.port)

    idn = inst.query("*IDN?").split(",")
    check(len(idn) == 4 and idn[1:] == ["KSV27", "27A-1001", "3.2.1.0"], f"*IDN? fields {idn}")

    values = inst.query_ascii_values("MEAS? (@1:16)")
    want = expected_si(demo)
    check(len(values) == 16 and all(close_to(v, w, 1e-6 * max(1, abs(w))) for v, w in zip(values, want)),
          f"MEAS? reads the demo's levels {values}")
    check(len(window) == 16 and all(close_to(v, w, t + 1e-12) for v, (w, t) in zip(values, window)),
          "MEAS? equals measure --format json in SI units")

    inst.write("ROUT:SCAN (@1:4);RATE 100;APER 0.1;TRIG:COUN 5;INIT")
    fetched = inst.query_ascii_values("FETC?")
    check(len(fetched) == 20, f"TRIG:COUN 5;INIT then FETC? gives 5 cycles of 4 channels ({len(fetched)})")
    removed = inst.query_ascii_values("DATA:REM? 6")
    check(removed == fetched[:6] and inst.query("DATA:POIN?") == "14", "DATA:REM? takes the oldest readings")

    for command, code in (("FROB?", -113), ("MEAS? (@1:17)", -222), ("ROUT:SCAN (@1;2)", -102), ("RATE 7", -222),
                          ("APER 1e9", -222), ("ROUT:SCAN (@15,16)", -221)):
        inst.write(command)
        check(error_code(inst) == code, f"{command} gives {code}")

    inst.write("*RST;ROUT:SCAN (@1:4);RATE 1000;APER 5;INIT")
    time.sleep(0.5)
    inst.write("ABOR")
    start = time.monotonic()
    check(inst.query("*OPC?") == "1" and time.monotonic() - start < 0.3, "ABOR ends a 5-s cycle within a read block")
    inst.write("APER 0.1;INIT")
    check(inst.query("*OPC?") == "1" and int(inst.query("DATA:POIN?")) == 4, "a new INIT measures again")

    other = open_instrument(rm, service.port)
    inst.write("APER 1;READ?")
    time.sleep(0.1)
    start = time.monotonic()
    served = other.query("*IDN?").startswith("KSV27_Vorn")
    check(served and time.monotonic() - start < 0.3, "a second client is served while the first waits on READ?")
    check(len(inst.read().split(",")) == 4, "the waiting READ? answers")
    other.close()

    control(server, "fault crate=KSV-C-0001 slot=1 recv=fail")
    inst.write("APER 0.1;INIT")
    inst.query("*OPC?")
    check(error_code(inst) == -240, "a library fault gives -240")
    control(server, "clear")
    inst.write("INIT")
    check(inst.query("*OPC?") == "1" and error_code(inst) == 0, "the next INIT reopens the module and measures")
    inst.close()

    check(service.stop() == 0, "SIGTERM ends serve with status 0")
    check("27A-1001 closed" in control(server, "status"), "the service closed the module")

    # Started before the crate server: answers, reports -241, measures once the server is there.
    port = free_port()
    early = serve(port)
    inst = open_instrument(rm, early.port, 3000)
    check(inst.query("*IDN?").split(",")[2] == "0", "without a crate server *IDN? still answers")
    inst.write("INIT")
    inst.query("*OPC?")
    check(error_code(inst) == -241, "without a crate server INIT gives -241")
    late = crate_server(port)
    deadline, values = time.monotonic() + 15, []
    while time.monotonic() < deadline and len(values) != 16:
        inst.write("MEAS? (@1:16)")
        inst.query("*OPC?")
        values = [float(v) for v in inst.query("FETC?").split(",")] if inst.query("DATA:POIN?") != "0" else []
        time.sleep(0.5)
    check(len(values) == 16, "the service measures once the crate server is up")
    inst.close()
    check(early.stop(signal.SIGINT) == 0, "Ctrl+C ends serve with status 0")
    late.stop()
    server.stop()
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
