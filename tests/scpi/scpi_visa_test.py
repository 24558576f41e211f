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
import threading
import time

import pyvisa

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import children  # noqa: E402

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
        self.proc = children.popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env)
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


def serve(sim_port, extra=()):
    env = dict(os.environ, KSV_SIM_PORT=str(sim_port))
    return Process([os.path.join(BIN, "ksv27-vorn-cli"), "serve", "--port", "0", *extra], env=env)


class RawClient:
    """A socket that reads everything the service sends, all the time."""

    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port))
        self.got = bytearray()
        self.thread = threading.Thread(target=self._read)
        self.thread.start()

    def _read(self):
        while data := self.sock.recv(1 << 16):
            self.got.extend(data)

    def lines(self, count, timeout=60):
        deadline = time.monotonic() + timeout
        while self.got.count(b"\n") < count and time.monotonic() < deadline:
            time.sleep(0.05)
        return self.got.split(b"\n")[:-1]

    def close(self):
        self.sock.shutdown(socket.SHUT_RDWR)
        self.thread.join()
        self.sock.close()


def closed_within(sock, seconds):
    sock.settimeout(seconds)
    try:
        return sock.recv(1024) == b""
    except OSError:
        return False


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

    # The scan list names what READ? returns, empty boards included.
    inst.write("*RST;RATE 100;APER 0.1")
    scan, values = inst.query("ROUT:SCAN?"), inst.query_ascii_values("READ?")
    check(scan == "(@" + ",".join(map(str, range(1, 17))) + ")" and len(values) == 16, f"after *RST {scan}")
    inst.write("ROUT:SCAN (@16,1)")
    scan, values = inst.query("ROUT:SCAN?"), inst.query_ascii_values("READ?")
    check(scan == "(@1,16)" and len(values) == 2 and values[1] == NAN, f"an empty board's channel stays {scan}")

    # Measuring shows in the operation register; a second INIT is -213.
    inst.write("TRIG:COUN 100;INIT;INIT")
    check(inst.query("STAT:OPER:COND?") == "16" and error_code(inst) == -213, "measuring is operation bit 4")
    inst.write("ABOR;TRIG:COUN 1")

    # A reader that pipelines: every answer, however much waits unread.
    raw = RawClient(service.port)
    raw.sock.sendall(b"*IDN?\n" * 20000)
    check(len(raw.lines(20000)) == 20000, "20000 pipelined *IDN? are all answered")
    raw.sock.sendall(b"*RST;RATE 1000;APER MIN;TRIG:COUN 2000;FORM:READ:TIME ON;CHAN ON;UNIT ON;:INIT;*OPC?\n")
    raw.lines(20001)  # a line sent while *OPC? waits would interrupt it
    raw.sock.sendall(b"FETC?\nFETC?\n")
    answers = raw.lines(20003)[-2:]
    check(len(answers) == 2 and answers[0] == answers[1] and len(answers[0]) > (1 << 20),
          f"two FETC? of more than 1 MiB each are both answered {[len(a) for a in answers]}")
    raw.sock.sendall(b"*RST;ROUT:SCAN (@1:4);RATE 100;APER 0.1\n" + b"BOGUS\n" * 1000)
    raw.close()

    # A failure is told to every connection that reads the measurement.
    control(server, "fault crate=KSV-C-0001 slot=1 recv=fail")
    inst.write("APER 0.1;INIT")
    inst.query("*OPC?")
    check(error_code(inst) == -240, "a library fault gives -240")
    reader = open_instrument(rm, service.port)
    reader.write("FETC?")
    check(error_code(reader) == -240 and reader.query("STAT:QUES:COND?") == "512",
          "another connection's FETC? learns of the failure too")
    reader.close()
    control(server, "clear")
    inst.write("INIT")
    check(inst.query("*OPC?") == "1" and error_code(inst) == 0, "the next INIT reopens the module and measures")
    inst.close()

    check(service.stop() == 0, "SIGTERM ends serve with status 0")
    logged = service.proc.stderr.read()
    check(logged.count("BOGUS") == 10 and "990 more command errors" in logged,
          "1000 bad commands log a few lines and their count")
    check("27A-1001 closed" in control(server, "status"), "the service closed the module")

    # Started before the crate server: answers, reports -241, measures once the server is there.
    port = free_port()
    early = serve(port)
    inst = open_instrument(rm, early.port, 3000)
    check(inst.query("*IDN?").split(",")[2] == "0", "without a crate server *IDN? still answers")
    inst.write("INIT")
    inst.query("*OPC?")
    check(error_code(inst) == -241, "without a crate server INIT gives -241")
    watcher, queued = open_instrument(rm, early.port, 3000), []
    for _ in range(10):
        inst.write("MEAS? (@1)")
        while watcher.query("STAT:OPER:COND?") != "0":
            time.sleep(0.01)
        queued.append(inst.query("SYST:ERR:ALL?").split(",")[0::2])
    watcher.close()
    check(all(codes == ["-241"] for codes in queued), f"MEAS? without a crate server: -241 alone {queued}")
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

    # Idle connections do not hold the service; one too many is told why.
    small = serve(free_port(), ["--max-clients", "1", "--idle-timeout", "1"])
    idle = socket.create_connection(("127.0.0.1", small.port))
    time.sleep(0.2)
    with socket.create_connection(("127.0.0.1", small.port)) as refused:
        refused.settimeout(10)
        check(refused.recv(1024).startswith(b"all 1 connections are taken"), "a client beyond the limit is told so")
    check(closed_within(idle, 20), "an idle connection is closed after --idle-timeout")
    idle.close()
    small.stop()
    server.stop()
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
