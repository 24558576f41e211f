#!/usr/bin/python3
"""The web page of ksv27-vorn-cli serve: how soon a cycle reaches the
WebSocket readers, what the service's CPU costs with 10 readers and one
browser, and what the page transfers. Not a test; see bench/README.md.

Usage: web_bench.py BIN_DIR [SECONDS]   (default 30 s per CPU window)
"""
import http.client
import json
import os
import shutil
import socket
import statistics
import sys
import tempfile
import threading
import time

import websocket
from selenium import webdriver
from selenium.webdriver.chrome.service import Service

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
from services import cpu_seconds, crate_server, serve, stop  # noqa: E402

BIN = sys.argv[1]
WINDOW = float(sys.argv[2]) if len(sys.argv) > 2 else 30.0


def cpu_share(pid, seconds):
    before, start_time = cpu_seconds(pid), time.monotonic()
    time.sleep(seconds)
    return 100.0 * (cpu_seconds(pid) - before) / (time.monotonic() - start_time)


class Reader(threading.Thread):
    """A WebSocket reader noting, per cycle, arrival minus the service's take-in time."""

    def __init__(self, port):
        super().__init__(daemon=True)
        self.ws = websocket.create_connection(f"ws://127.0.0.1:{port}/ws", timeout=60)
        self.delays, self.seen, self.running = [], None, True

    def run(self):
        while self.running:
            try:
                message = self.ws.recv()
            except Exception:
                return
            if not message:
                return
            arrived = time.time() * 1000.0
            cycle = json.loads(message)["cycle"]
            if cycle and cycle["index"] != self.seen:
                self.seen = cycle["index"]
                self.delays.append(arrived - cycle["takenMs"])


def browser(port):
    options = webdriver.ChromeOptions()
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                 "--no-first-run", "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage"):
        options.add_argument(flag)
    profile = tempfile.mkdtemp(prefix="ksv-web-bench-")
    options.add_argument("--user-data-dir=" + profile)
    options.binary_location = "/usr/bin/chromium"
    driver = webdriver.Chrome(options=options, service=Service(executable_path="/usr/bin/chromedriver"))
    driver.get(f"http://127.0.0.1:{port}/")
    return driver, profile


def transferred(port):
    sizes = {}
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
    for path in ("/", "/app.js", "/style.css", "/favicon.svg", "/api/trend"):
        conn.request("GET", path)
        response = conn.getresponse()
        sizes[path] = len(response.read()) + sum(len(k) + len(v) + 4 for k, v in response.getheaders())
    conn.close()
    return sizes


def main():
    sim, sim_port = crate_server(BIN)
    service, (scpi_port, web_port) = serve(BIN, sim_port, "--http-port", "0", lines=2)
    scpi = socket.create_connection(("127.0.0.1", scpi_port), timeout=60)
    scpi.sendall(b"RATE 1000;APER 0.1;TRIG:COUN INF;INIT\n")
    time.sleep(3)
    idle = cpu_share(service.pid, WINDOW)
    readers = [Reader(web_port) for _ in range(10)]
    for reader in readers:
        reader.start()
    driver, profile = browser(web_port)
    try:
        busy = cpu_share(service.pid, WINDOW)
        sizes = transferred(web_port)
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)
    for reader in readers:
        reader.running = False
        reader.ws.close()
    delays = sorted(d for reader in readers for d in reader.delays[1:])
    cycles = max(len(reader.delays) for reader in readers)
    print(f"cycles per reader              {cycles} in {WINDOW:.0f} s")
    print(f"cycle taken -> WebSocket, ms   median {statistics.median(delays):.2f}  "
          f"p95 {delays[int(0.95 * (len(delays) - 1))]:.2f}  max {delays[-1]:.2f}  (goal: median <= 20)")
    print(f"serve CPU, % of a core         {idle:.2f} measuring, no reader; {busy:.2f} with 10 readers and a browser "
          f"(web side {busy - idle:+.2f}; goal <= 2)")
    page = sum(v for k, v in sizes.items() if k != "/api/trend")
    print(f"page transferred, bytes        {page} (" + ", ".join(f"{k} {v}" for k, v in sizes.items()
                                                               if k != "/api/trend") + f"); /api/trend {sizes['/api/trend']}")
    scpi.close()
    stop(service, sim)
    return 0


if __name__ == "__main__":
    sys.exit(main())
