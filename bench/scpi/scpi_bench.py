#!/usr/bin/python3
"""The SCPI service's figures against the simulated crate server's demo:
*IDN? round trips from 1 and 8 clients, the cycle period of one INIT of 100
cycles at 1000 Hz with 0.1 s and 1 s cycles (beside the same cycles through
`measure`) and the round trip of a single READ?, the service's resident memory with 8 idle connections and after 1000
connects, its open descriptors, and its CPU while nobody asks.

Usage: bench/scpi/scpi_bench.py [BIN_DIR]   (default: build/bin)
Exit status 1 when a goal is missed. Takes about four minutes.
"""
import os
import socket
import statistics
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
from scpi_socket import ScpiSocket  # noqa: E402
from services import cpu_seconds, crate_server, serve, sim_env, stop  # noqa: E402
from timing import percentile, timed  # noqa: E402

BIN = sys.argv[1] if len(sys.argv) > 1 else "build/bin"


def round_trips(port, count):
    client = ScpiSocket(port)
    times = timed(lambda: client.ask("*IDN?"), count)
    client.close()
    return times


def proc_status(pid, key):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return 0


def measure_period(sim_port, aperture, cycles):
    """The same cycles through `ksv27-vorn-cli measure`, for reference."""
    import datetime
    import json
    out = subprocess.run([os.path.join(BIN, "ksv27-vorn-cli"), "measure", "--rate", "1000", "--time", str(aperture),
                          "--cycles", str(cycles), "--format", "json"], capture_output=True, text=True,
                         env=sim_env(sim_port)).stdout
    stamps = [datetime.datetime.fromisoformat(json.loads(line)["time"].replace("Z", "+00:00")).timestamp()
              for line in out.splitlines()]
    return (stamps[-1] - stamps[0]) / (len(stamps) - 1)


def main():
    server, sim_port = crate_server(BIN)
    # Before the service holds the module.
    reference = {aperture: measure_period(sim_port, aperture, 100) for aperture in (0.1, 1.0)}
    service, (port,) = serve(BIN, sim_port)
    missed = []
    try:
        round_trips(port, 200)  # warm up
        fds_before = len(os.listdir(f"/proc/{service.pid}/fd"))
        one = round_trips(port, 2000)
        eight = []
        lock = threading.Lock()

        def worker():
            times = round_trips(port, 500)
            with lock:
                eight.extend(times)

        threads = [threading.Thread(target=worker) for _ in range(8)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        print("*IDN? round trip      median ms   p99 ms")
        for name, times in (("1 client", one), ("8 clients", eight)):
            median = statistics.median(times) * 1e3
            print(f"  {name:18} {median:9.3f} {percentile(times, 0.99) * 1e3:8.3f}")
            if name == "1 client" and median >= 0.2:
                missed.append("median *IDN? round trip from 1 client under 0.2 ms")

        client = ScpiSocket(port)
        print("1000 Hz, one INIT of TRIG:COUN 100   period s   ratio to time   goal s   READ? round trip s"
              "   measure's period s")
        for aperture in (0.1, 1.0):
            client.ask(f"*RST;RATE 1000;APER {aperture};ROUT:SCAN (@1:16);FORM:READ:TIME ON;TRIG:COUN 100;*OPC?")
            client.sock.sendall(b"INIT\n")
            readings = client.ask("FETC?").split(",")
            times = sorted({float(v) for v in readings[1::2]})
            period = (times[-1] - times[0]) / (len(times) - 1)
            goal = 1.01 * aperture + 0.002
            client.ask("TRIG:COUN 1;FORM:READ:TIME OFF;*OPC?")
            t = time.perf_counter()
            client.ask("READ?")
            read = time.perf_counter() - t
            print(f"  {aperture:4.1f} s cycles {len(times):3} cycles {period:10.5f} {period / aperture:14.4f}"
                  f" {goal:8.4f} {read:12.4f} {reference[aperture]:14.5f}")
            if period > goal:
                missed.append(f"cycle period at {aperture} s within 1.01 x time + 2 ms")
        client.close()

        idle = [ScpiSocket(port) for _ in range(8)]
        time.sleep(0.5)
        rss_idle = proc_status(service.pid, "VmRSS")
        for c in idle:
            c.close()
        for _ in range(1000):
            c = socket.create_connection(("127.0.0.1", port))
            c.close()
        time.sleep(0.5)
        rss_after = proc_status(service.pid, "VmRSS")
        fds_after = len(os.listdir(f"/proc/{service.pid}/fd"))
        print(f"resident memory: {rss_idle} kB with 8 idle connections, {rss_after} kB after 1000 connects;"
              f" descriptors {fds_before} before, {fds_after} after")
        if fds_after > fds_before:
            missed.append("no descriptor growth after 1000 connects")

        cpu = cpu_seconds(service.pid)
        time.sleep(10)
        idle_share = (cpu_seconds(service.pid) - cpu) / 10 * 100
        print(f"CPU while idle (module open, nobody asks, 10 s): {idle_share:.2f} %")
        if idle_share > 0.5:
            missed.append("0 % CPU while idle")
    finally:
        stop(service, server)
    for m in missed:
        print("MISSED", m)
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
