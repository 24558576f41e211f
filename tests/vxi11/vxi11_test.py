#!/usr/bin/python3
"""`serve` over VXI-11, driven by clients nobody here wrote (PyVISA-py's
TCPIP::host::INSTR, lxi-tools) against the simulated crate server, inside a
network namespace of its own with its own rpcbind; then a table of hostile
RPC inputs, and the portmapper entry of a second service on the host.

Usage: vxi11_test.py BIN_DIR   (runs as root)
"""
import os
import socket
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scpi"))
import netns  # noqa: E402

netns.enter()

import pyvisa  # noqa: E402
from pyvisa.errors import VisaIOError  # noqa: E402
from scpi_visa_test import BIN, check, close_to, crate_server, expected_si, failures, open_instrument  # noqa: E402
import children  # noqa: E402  (scpi_visa_test put tests/support on the path)

CORE, CORE_VERSION = 0x0607AF, 1
daemons = netns.Daemons()


class Serve:
    """ksv27-vorn-cli serve; standard error goes to a file read on demand."""

    def __init__(self, sim_port, *args):
        self.log = tempfile.NamedTemporaryFile("w+", prefix="serve-", suffix=".log")
        env = dict(os.environ, KSV_SIM_PORT=str(sim_port))
        self.proc = daemons.start([os.path.join(BIN, "ksv27-vorn-cli"), "serve", "--port", "0", *args],
                                  stdout=subprocess.PIPE, stderr=self.log, text=True, env=env)
        self.port = int(self.proc.stdout.readline() or 0)

    def stderr(self):
        return children.written(self.log)

    def said(self, text, seconds=30):
        """Whether standard error shows text within the time: the port line
        can come before the portmapper's answer is logged."""
        deadline = time.monotonic() + seconds
        while text not in self.stderr():
            if time.monotonic() > deadline or self.proc.poll() is not None:
                return text in self.stderr()
            time.sleep(0.05)
        return True

    def stop(self):
        self.proc.terminate()
        return self.proc.wait(timeout=30)


def registered_port():
    out = subprocess.run(["rpcinfo", "-p", "127.0.0.1"], capture_output=True, text=True).stdout
    ports = [int(f[3]) for f in (line.split() for line in out.splitlines()) if f and f[0] == str(CORE)]
    return ports[0] if ports else 0


def lxi(command):
    return subprocess.run(["lxi", "scpi", "-a", "127.0.0.1", "-t", "10", command], capture_output=True, text=True,
                          timeout=60).stdout.strip()


def visa_clients(service, demo):
    rm = pyvisa.ResourceManager("@py")
    inst = rm.open_resource("TCPIP::127.0.0.1::INSTR")
    inst.timeout = 10000
    check(inst.query("*IDN?").startswith("KSV27_Vorn"), "PyVISA TCPIP::127.0.0.1::INSTR *IDN?")
    values = inst.query_ascii_values("MEAS? (@1:16)")
    want = expected_si(demo)
    check(len(values) == 16 and all(close_to(v, w, 1e-6 * max(1, abs(w))) for v, w in zip(values, want)),
          f"MEAS? over VXI-11 reads the demo's levels {values}")
    inst.chunk_size = 7
    check(inst.query_ascii_values("MEAS? (@1:16)") == values, "a long answer read 7 bytes at a time")
    inst.chunk_size = 20 * 1024

    inst.write("ROUT:SCAN (@1:4);RATE 1000;APER 5")
    inst.write("READ?")
    start = time.monotonic()
    inst.clear()
    check(time.monotonic() - start < 4, "clear() ends a waiting 5-s READ? before its cycle ends")
    check(inst.query("*IDN?").startswith("KSV27_Vorn"), "the query after clear() answers")
    inst.write("ABOR;APER 0.1")

    inst.write("FROB")
    check(inst.read_stb() & 0x04, "read_stb() shows the error queue's bit")
    check(inst.query("SYST:ERR?").startswith("-113"), "SYST:ERR? over VXI-11")

    other = rm.open_resource("TCPIP::127.0.0.1::INSTR")
    sock = open_instrument(rm, service.port)
    rate = inst.query("RATE?")
    inst.lock_excl()
    try:
        other.write("RATE 10")
        refused = False
    except VisaIOError:
        refused = True
    # PyVISA-py reports any error code as an I/O error: its own client shows the code.
    session = rm.visalib.sessions[other.session]
    error, _ = session.interface.device_write(session.link, 1000, 0, 8, b"RATE 10\n")
    check(refused and error == 11, f"another link's RATE 10 fails with error 11 ({error})")
    sock.write("RATE 10")
    check(sock.query("SYST:ERR?") == '-200,"Execution error;locked by another client"',
          "a socket line changing the configuration fails while the lock is held")
    check(inst.query("RATE?") == rate, "the rate stays as it was")
    inst.unlock()
    other.write("RATE 10")
    check(float(inst.query("RATE?")) == 10, "unlocked, the other link sets it")

    sock.write("FROB")
    other.write("RATE 7")
    check(sock.query("SYST:ERR?").startswith("-113") and other.query("SYST:ERR?").startswith("-222")
          and sock.query("SYST:ERR?").startswith("0,") and other.query("SYST:ERR?").startswith("0,"),
          "the socket and a VXI-11 link each see their own error queue")
    for r in (sock, other, inst):
        r.close()
    rm.close()


def call(xid, program, version, procedure, args=b""):
    header = struct.pack(">IIIIIIIIII", xid, 0, 2, program, version, procedure, 0, 0, 0, 0)
    return header + args


def record(payload):
    return struct.pack(">I", 0x80000000 | len(payload)) + payload


def reply(sock):
    """The accept status of the next reply, or None when the service closed the connection."""
    data = b""
    while len(data) < 4:
        chunk = sock.recv(4096)
        if not chunk:
            return None
        data += chunk
    size = struct.unpack(">I", data[:4])[0] & 0x7FFFFFFF
    while len(data) < 4 + size:
        data += sock.recv(4096)
    body = data[4:4 + size]
    return struct.unpack(">I", body[20:24])[0], body[24:]


def create_link_args(device=b"inst0"):
    padded = device + b"\0" * (-len(device) % 4)
    return struct.pack(">iiII", 1, 0, 0, len(device)) + padded


def hostile_inputs(core_port, rss_before, pid):
    # (what, bytes sent, the reply's accept status; None: the service closes the connection)
    table = [
        ("a fragment of absurd length", struct.pack(">I", 0x7FFFFFF0), None),
        ("truncated arguments", record(call(7, CORE, 1, 10, create_link_args()[:6])), 4),
        ("an unknown procedure", record(call(8, CORE, 1, 99)), 3),
        ("an unknown program", record(call(9, 0x0607B1, 1, 30)), 1),
        ("a version the service lacks", record(call(10, CORE, 2, 10)), 2),
        ("a device name other than inst0", record(call(11, CORE, 1, 10, create_link_args(b"inst1"))), 0),
    ]
    for what, data, want in table:
        with socket.create_connection(("127.0.0.1", core_port), timeout=20) as s:
            s.sendall(data)
            got = reply(s)
            check((got is None) if want is None else (got is not None and got[0] == want), f"hostile: {what}")
    statuses = []
    with socket.create_connection(("127.0.0.1", core_port), timeout=20) as s:
        for i in range(1000):
            s.sendall(record(call(100 + i, CORE, 1, 10, create_link_args())))
            statuses.append(struct.unpack(">i", reply(s)[1][:4])[0])
    check(statuses[:8] == [0] * 8 and set(statuses[8:]) == {9}, "1000 create_link: 8 links, then error 9")
    with socket.create_connection(("127.0.0.1", core_port), timeout=20) as s:
        s.sendall(record(call(5, CORE, 1, 10, create_link_args())))
        check(struct.unpack(">i", reply(s)[1][:4])[0] == 0, "links are reclaimed when their connection ends")
    rss = rss_of(pid)
    check(rss - rss_before < 64 * 1024, f"memory stays bounded ({rss_before} kB -> {rss} kB)")


def rpc(sock, xid, program, procedure, args):
    """One call; the procedure's result words (after the reply header)."""
    sock.sendall(record(call(xid, program, 1, procedure, args)))
    return reply(sock)[1]


def abort_and_timeout(core_port):
    """A read waiting on a 5-s READ? ends with 15 after its io_timeout, and
    with 23 at once when the abort channel asks; other links go on."""
    with socket.create_connection(("127.0.0.1", core_port), timeout=20) as s:
        _, lid, abort_port = struct.unpack(">iiI", rpc(s, 1, CORE, 10, create_link_args())[:12])
        message = b"ROUT:SCAN (@1:4);RATE 1000;APER 5;READ?\n"
        rpc(s, 2, CORE, 11, struct.pack(">iIIiI", lid, 1000, 0, 8, len(message)) + message + b"\0" * (-len(message) % 4))
        read = struct.pack(">iIIIii", lid, 4096, 300, 0, 0, 0)
        check(struct.unpack(">i", rpc(s, 3, CORE, 12, read)[:4])[0] == 15, "a read past its io_timeout gives 15")
        s.sendall(record(call(4, CORE, 1, 12, struct.pack(">iIIIii", lid, 4096, 60000, 0, 0, 0))))
        with socket.create_connection(("127.0.0.1", abort_port), timeout=20) as a:
            check(struct.unpack(">i", rpc(a, 5, 0x0607B0, 1, struct.pack(">i", lid))[:4])[0] == 0, "device_abort")
        check(struct.unpack(">i", reply(s)[1][:4])[0] == 23, "device_abort ends the waiting read with 23")
        rpc(s, 6, CORE, 15, struct.pack(">iiII", lid, 0, 0, 1000))  # device_clear
        # Partial writes are one message up to END, with or without LF.
        rpc(s, 7, CORE, 11, struct.pack(">iIIiI", lid, 1000, 0, 0, 8) + b"ABOR;*ID")
        rpc(s, 8, CORE, 11, struct.pack(">iIIiI", lid, 1000, 0, 8, 2) + b"N?\0\0")
        answer = rpc(s, 9, CORE, 12, read)
        check(answer[12:22] == b"KSV27_Vorn" and struct.unpack(">i", answer[4:8])[0] == 4,
              "partial writes are joined until END; the answer ends with END")


def rss_of(pid):
    with open(f"/proc/{pid}/status") as f:
        return int(next(line for line in f if line.startswith("VmRSS")).split()[1])


def main():
    try:
        netns.rpcbind(daemons)
        server = crate_server()
        daemons.procs.append(server.proc)
        demo = __import__("json").loads(subprocess.run([os.path.join(BIN, "ksv-crate-server"), "--print-demo"],
                                                       capture_output=True, text=True).stdout)
        service = Serve(server.port)
        registered = service.said("registered with the portmapper")
        core = registered_port()
        check(registered and core > 0, "serve registers its core channel")
        check(lxi("*IDN?").startswith("KSV27_Vorn"), "lxi scpi '*IDN?'")
        check(len(lxi("MEAS? (@1:4)").split(",")) == 4, "lxi scpi 'MEAS? (@1:4)'")
        visa_clients(service, demo)

        abort_and_timeout(core)
        hostile_inputs(core, rss_of(service.proc.pid), service.proc.pid)

        second = Serve(server.port)
        told = second.said("for another service")
        entry = registered_port()
        check(told and entry == core, "a second serve leaves the first one's entry be" +
              ("" if told and entry == core else f" (entry {entry}, core {core}): {second.stderr()[-8000:]}"))
        check(second.stop() == 0 and registered_port() == core, "and its exit does not take the entry out")
        status = service.stop()
        check(status == 0 and registered_port() == 0,
              f"the first serve's exit unregisters it (exit status {status}){'' if status == 0 else service.stderr()[-2000:]}")
        off = Serve(server.port, "--vxi11", "off")
        check(off.port > 0 and registered_port() == 0 and "VXI-11" not in off.stderr(), "--vxi11 off: socket only")
        off.stop()
    finally:
        daemons.stop_all()
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
