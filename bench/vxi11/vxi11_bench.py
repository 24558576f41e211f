#!/usr/bin/python3
"""`serve` over VXI-11 beside its SCPI socket, against the simulated crate
server's demo: the *IDN? round trip (device_write then device_read, two RPC
calls, from a minimal client with TCP_NODELAY whose records are packed in
advance) and the socket's, median and 99th percentile of 2000 each; then the
period of back-to-back READ? at 1000 Hz with 0.1 s cycles through each.

Usage: bench/vxi11/vxi11_bench.py [BIN_DIR]   (default: build/bin)
Exit status 1 when the VXI-11 median passes 0.3 ms. About a minute.
"""
import os
import socket
import statistics
import struct
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
from scpi_socket import ScpiSocket  # noqa: E402
from services import crate_server, serve, stop  # noqa: E402
from timing import percentile, timed  # noqa: E402

BIN = sys.argv[1] if len(sys.argv) > 1 else "build/bin"
CORE = 0x0607AF


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def record(xid, procedure, args):
    body = struct.pack(">IIIIIIIIII", xid, 0, 2, CORE, 1, procedure, 0, 0, 0, 0) + args
    return struct.pack(">I", 0x80000000 | len(body)) + body


class Vxi11:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port))
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.lid = struct.unpack(">ii", self.call(10, struct.pack(">iiII", 1, 0, 0, 5) + b"inst0\0\0\0")[:8])[1]

    def call(self, procedure, args):
        self.sock.sendall(record(1, procedure, args))
        data = self.sock.recv(65536)
        size = struct.unpack(">I", data[:4])[0] & 0x7FFFFFFF
        while len(data) < size + 4:
            data += self.sock.recv(65536)
        return data[28:]

    def write_args(self, line):
        data = line.encode() + b"\n"
        return struct.pack(">iIIiI", self.lid, 10000, 0, 8, len(data)) + data + b"\0" * (-len(data) % 4)

    def ask(self, write, read):
        self.call(11, write)
        reply = self.call(12, read)
        return reply[12:12 + struct.unpack(">I", reply[8:12])[0]]


def main():
    server, sim_port = crate_server(BIN)
    core = free_port()
    service, (port,) = serve(BIN, sim_port, "--vxi11-port", str(core))
    try:
        vxi = Vxi11(core)
        sock = ScpiSocket(port)
        read_args = struct.pack(">iIIIii", vxi.lid, 65536, 10000, 0, 0, 0)
        idn = vxi.write_args("*IDN?")
        if not vxi.ask(idn, read_args).startswith(b"KSV27_Vorn"):
            raise RuntimeError("*IDN? over VXI-11 did not answer")
        timed(lambda: vxi.ask(idn, read_args), 200)  # warm up
        timed(lambda: sock.ask("*IDN?"), 200)
        rows = {"VXI-11": timed(lambda: vxi.ask(idn, read_args), 2000),
                "socket": timed(lambda: sock.ask("*IDN?"), 2000)}
        print("*IDN? round trip   median ms   p99 ms")
        for name, times in rows.items():
            print(f"  {name:14} {statistics.median(times) * 1e3:9.3f} {percentile(times, 0.99) * 1e3:8.3f}")

        sock.ask("*RST;RATE 1000;APER 0.1;ROUT:SCAN (@1:16);*OPC?")
        read = vxi.write_args("READ?")
        periods = {}
        for name, ask in (("VXI-11", lambda: vxi.ask(read, read_args)), ("socket", lambda: sock.ask("READ?"))):
            ask()
            start_time = time.perf_counter()
            for _ in range(20):
                ask()
            periods[name] = (time.perf_counter() - start_time) / 20
        print("READ? back to back, 1000 Hz, 0.1 s cycles: period s")
        for name, period in periods.items():
            print(f"  {name:14} {period:9.4f}")
        median = statistics.median(rows["VXI-11"]) * 1e3
        return 1 if median > 0.3 else 0
    finally:
        stop(service, server)


if __name__ == "__main__":
    sys.exit(main())
