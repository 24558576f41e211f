#!/usr/bin/python3
"""The web page of ksv27-vorn-cli serve, end to end: headless Chromium
(Selenium) and plain HTTP/WebSocket clients against the real service and the
simulated crate server's demo while a SCPI client measures without end.

Usage: web_test.py BIN_DIR SHOT_DIR   (screenshots go to SHOT_DIR)
"""
import http.client
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET

import websocket
from selenium import webdriver
from selenium.webdriver.chrome.service import Service

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import children  # noqa: E402

BIN, SHOTS = sys.argv[1], sys.argv[2]
DEADLINE = 60  # seconds for anything awaited
failures = []
started = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


def wait_for(predicate, timeout=DEADLINE):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(0.1)
    return predicate()


def start(args, env=None, lines=1):
    """A child whose first `lines` lines of standard output are read."""
    proc = children.popen(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, env=env)
    started.append(proc)
    return proc, [proc.stdout.readline().strip() for _ in range(lines)]


def stop(proc):
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
    try:
        return proc.wait(timeout=20)
    except subprocess.TimeoutExpired:
        proc.kill()
        return proc.wait()


def crate_server(port=0, config=None):
    more = ["--config", config] if config else []
    proc, (line,) = start([os.path.join(BIN, "ksv-crate-server"), "--port", str(port), "--parent", str(os.getpid()),
                           *more])
    return proc, int(line.split(":")[-1].split()[0])


def serve(sim_port, http_port=0, more=()):
    env = dict(os.environ, KSV_SIM_PORT=str(sim_port))
    # An address-sanitizer build keeps freed memory aside; so little that it
    # does not count as growth below.
    env["ASAN_OPTIONS"] = (os.environ.get("ASAN_OPTIONS", "") + ":quarantine_size_mb=4").lstrip(":")
    return start([os.path.join(BIN, "ksv27-vorn-cli"), "serve", "--port", "0", "--http-port", str(http_port),
                  *more], env=env, lines=2)


class Scpi:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=DEADLINE)
        self.file = self.sock.makefile("r")

    def write(self, line):
        self.sock.sendall((line + "\n").encode())

    def query(self, line):
        self.write(line)
        return self.file.readline().strip()


def get(port, path, method="GET", headers=None):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=DEADLINE)
    conn.request(method, path, headers=headers or {})
    response = conn.getresponse()
    body = response.read()
    conn.close()
    return response, body


def status(port):
    return json.loads(get(port, "/api/status")[1])


def shown_levels(demo):
    """Channel by channel, the demo's first module as the window shows it
    (mV for voltages and the temperature kind, mA, Ohm); None: no value."""
    shown = {}
    for slot, mezzanine in enumerate(demo["crates"][0]["slots"][0]["mezzanines"]):
        name, levels = mezzanine["name"], [c.get("dc", 0.0) for c in mezzanine.get("channels", [])]
        unit = {"U": "mV", "T": "mV", "I": "mA", "R": "Ohm"}.get(name[0])
        if not unit or name == "UDEF":
            continue
        scale = 1000.0 if name[0] == "U" else 1.0
        for pin in range(2):
            value = None if name[0] == "R" and pin == 1 else levels[pin] * scale
            shown[2 * slot + pin + 1] = (value, unit)
    return shown


def page_values(driver):
    return driver.execute_script(
        "return Array.from(document.querySelectorAll('.channel'),"
        " c => [Number(c.dataset.channel), c.querySelector('.value').textContent]);")


def levels_shown(driver, want):
    values = dict(page_values(driver))
    for channel, (level, unit) in want.items():
        text = values.get(channel, "")
        if level is None:
            if not text.startswith("--"):
                return False
            continue
        match = re.fullmatch(r"(-?\d+(?:\.\d+)?) (\S+)", text)
        decimals = len(match.group(1).split(".")[1]) if match and "." in match.group(1) else 0
        if not match or match.group(2) != unit or abs(float(match.group(1)) - level) > 0.5 * 10 ** -decimals + 1e-9:
            return False
    return True


def browser():
    options = webdriver.ChromeOptions()
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                 "--no-first-run", "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage"):
        options.add_argument(flag)
    profile = tempfile.mkdtemp(prefix="ksv-web-chromium-")
    options.add_argument("--user-data-dir=" + profile)
    options.binary_location = "/usr/bin/chromium"
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    service = Service(executable_path="/usr/bin/chromedriver")
    driver = webdriver.Chrome(options=options, service=service)
    return driver, profile


def web_readers(port):
    return {c["address"] for c in status(port)["clients"] if c["transport"] == "WebSocket"}


def check_stalled_reader(port):
    """A WebSocket reader that never reads is dropped; the others stay."""
    sock = socket.socket()
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    sock.connect(("127.0.0.1", port))
    sock.sendall(b"GET /ws HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                 b"Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n")
    address = "127.0.0.1:%d" % sock.getsockname()[1]
    others = wait_for(lambda: address in web_readers(port) and web_readers(port) - {address})
    dropped = wait_for(lambda: address not in web_readers(port), timeout=180)
    check(dropped and others <= web_readers(port), "a WebSocket reader that does not read is dropped, alone")
    sock.close()


def check_browser(web_port, scpi, sim, sim_port, demo):
    driver, profile = browser()
    try:
        driver.set_window_size(1280, 1300)
        driver.get(f"http://127.0.0.1:{web_port}/")
        text = lambda: driver.find_element("tag name", "body").text
        check("27A-1001" in text() and "KSV-C-0001" in text() and "3.2.1.0" in text(),
              "the page shows the module's serial, crate and firmware")
        want = shown_levels(demo)
        check(wait_for(lambda: levels_shown(driver, want)), f"each channel's level with its unit {page_values(driver)}")
        updates = lambda: int(driver.execute_script("return Number(document.body.dataset.cycle || -1)"))
        first = updates()
        served = status(web_port)["cycle"]["index"]
        wait_for(lambda: status(web_port)["cycle"]["index"] >= served + 3)
        check(wait_for(lambda: updates() >= first + 2), f"the page updates without reloading ({first} -> {updates()})")
        check_stalled_reader(web_port)
        os.makedirs(SHOTS, exist_ok=True)
        driver.save_screenshot(os.path.join(SHOTS, "screenshot-web.png"))
        driver.set_window_size(400, 1400)
        driver.save_screenshot(os.path.join(SHOTS, "screenshot-web-phone.png"))

        stop(sim)
        check(wait_for(lambda: "Модуль потерян" in text()), "a killed crate server shows as a lost module")
        check(levels_shown(driver, want), "the lost module's last values stay shown")
        sim, _ = crate_server(sim_port)
        wait_for(lambda: status(web_port)["modules"][0]["open"])
        scpi.write("INIT")
        check(wait_for(lambda: "Идёт измерение" in text() and "Модуль потерян" not in text()),
              "the page recovers when the crate server returns")
        severe = [e["message"] for e in driver.get_log("browser") if e["level"] == "SEVERE"]
        check(not severe, f"no console error {severe}")
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)
    return sim


# Three KSV27 of one crate served as one instrument, and a foreign module.
CRATE = {"crates": [{"serial": "WEB-C", "slots": [
    {"slot": 2, "serial": "27W-2", "mezzanines": [{"name": "U10", "channels": [{"dc": 1.5}, {"dc": -2.0}]}]},
    {"slot": 3, "id": 4660},
    {"slot": 5, "serial": "27W-5", "mezzanines": [{"name": "I20", "channels": [{"dc": 4.0}, {"dc": 20.0}]}]},
    {"slot": 9, "serial": "27W-9", "mezzanines": [{"name": "R100", "channels": [{"dc": 47.0}, {"dc": 0.1}]}]}]}]}
CRATE_SHOWN = {201: (1500.0, "mV"), 202: (-2000.0, "mV"), 501: (4.0, "mA"), 502: (20.0, "mA"), 901: (47.0, "Ohm"),
               902: (None, "Ohm")}


def check_client_scaling(driver, scpi, web_port):
    """A name, scaling and limit set over SCPI: the page shows the value in
    the user's unit, the readings carry the name, the limit is in that unit."""
    check(scpi.query("ABOR;*OPC?") == "1", "the endless measurement stops")
    scpi.write('ROUT:CHAN:LAB "Feed",(@502);:CALC:SCAL:GAIN 625,(@502);OFFS -2.5,(@502);UNIT "bar",(@502);'
               'STAT ON,(@502);:CALC:LIM:UPP 5,(@502);UPP:STAT ON,(@502);:INIT')
    check(wait_for(lambda: levels_shown(driver, {**CRATE_SHOWN, 502: (10.0, "bar")})),
          f"20 mA scaled to bar is shown as 10 bar {page_values(driver)}")
    shown = [c for m in status(web_port)["modules"] for c in m["channels"] if c["channel"] == 502]
    check(shown and shown[0]["upper"] == 5 and shown[0]["cross"] == "upper", f"the limit is in bar {shown}")
    readings = json.loads(get(web_port, "/api/readings")[1])
    named = [c for c in readings["channels"] if c["channel"] == 502]
    check(named and named[0]["label"] == "Feed" and named[0]["unit"] == "bar", f"the readings carry it {named}")

    def strip():
        found = [c for c in json.loads(get(web_port, "/api/trend")[1])["channels"] if c["channel"] == 502]
        return found[0] if found and len(found[0]["t"]) >= 3 else None
    points = wait_for(strip)
    check(points and set(points["v"]) == {10} and all(b > a for a, b in zip(points["t"], points["t"][1:])),
          f"the trend starts anew in bar, one point per 0.2-s cycle {points}")


def check_crate_page():
    """serve --slot all: the page shows every module's live values."""
    with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as config:
        json.dump(CRATE, config)
    sim, sim_port = crate_server(config=config.name)
    service, (scpi_line, web_line) = serve(sim_port, more=["--slot", "all"])
    scpi = Scpi(int(scpi_line))
    scpi.write("APER 0.2;TRIG:COUN INF;INIT")
    driver, profile = browser()
    try:
        driver.set_window_size(1280, 1300)
        driver.get(f"http://127.0.0.1:{web_line}/")
        check(wait_for(lambda: levels_shown(driver, CRATE_SHOWN)),
              f"every module's channels show their levels {page_values(driver)}")
        readings = json.loads(get(int(web_line), "/api/readings")[1])
        check(sorted({c["module_slot"] for c in readings["channels"]}) == [2, 5, 9],
              "/api/readings is the scan of every module")
        check_client_scaling(driver, scpi, int(web_line))
        driver.save_screenshot(os.path.join(SHOTS, "screenshot-web-crate.png"))
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)
        scpi.sock.close()
        stop(service)
        stop(sim)
        os.unlink(config.name)


def raw_request(port, data):
    with socket.create_connection(("127.0.0.1", port), timeout=DEADLINE) as sock:
        sock.sendall(data)
        return sock.recv(200).decode(errors="replace")


def usage(pid):
    with open(f"/proc/{pid}/status") as f:
        rss = int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))
    return rss, len(os.listdir(f"/proc/{pid}/fd"))


def check_http(web_port, scpi, pid):
    response, body = get(web_port, "/lxi/identification")
    root = ET.fromstring(body)
    serials = [e.text for e in root.iter() if e.tag.endswith("SerialNumber")]
    check(response.status == 200 and serials == ["27A-1001"], "/lxi/identification is XML with the serial")

    si = [float(v) for v in scpi.query("MEAS? (@1:16)").split(",")]
    readings = json.loads(get(web_port, "/api/readings")[1])
    scale = {"mV": 1e-3, "mA": 1e-3, "Ohm": 1.0}  # every value is shown with three decimals or more
    same = all(abs(c["value"] - si[c["channel"] - 1] / scale[c["unit"]]) <= 0.0005 + 1e-9
               for c in readings["channels"] if c["value"] is not None)
    check(same and len(readings["channels"]) == 14, f"/api/readings equals MEAS? rounded as shown {si} {readings}")

    for method in ("POST", "PUT", "DELETE"):
        response, _ = get(web_port, "/api/status", method)
        check(response.status == 405 and response.getheader("Allow") == "GET, HEAD", f"{method} is 405")
    check(json.loads(get(web_port, "/api/readings")[1]) == readings and scpi.query("SYST:ERR?").startswith("0"),
          "refused methods change nothing")
    response, _ = get(web_port, "/")
    check("script-src 'self'" in (response.getheader("Content-Security-Policy") or "")
          and not response.getheader("Access-Control-Allow-Origin"), "the page has its security policy")
    answer = raw_request(web_port, b"GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + b"a" * 20000 + b"\r\n\r\n")
    check(answer.startswith("HTTP/1.1 431"), f"an oversized header is refused ({answer[:20]!r})")

    conn = http.client.HTTPConnection("127.0.0.1", web_port, timeout=DEADLINE)
    for _ in range(500):  # warm up: every buffer at its working size
        conn.request("GET", "/api/status")
        conn.getresponse().read()
    before = usage(pid)
    readers = [websocket.create_connection(f"ws://127.0.0.1:{web_port}/ws", timeout=DEADLINE) for _ in range(10)]
    check(all(json.loads(r.recv())["modules"] for r in readers), "10 WebSocket readers get the status")
    for i in range(10000):
        conn.request("GET", "/api/readings" if i % 2 else "/api/status")
        conn.getresponse().read()
    conn.close()
    for reader in readers:
        reader.close()
    after = wait_for(lambda: usage(pid)[1] <= before[1] and usage(pid))
    check(after and after[0] - before[0] < 8192,
          f"10 000 requests and 10 readers leave memory and descriptors bounded ({before} -> {after})")


def main():
    demo = json.loads(subprocess.run([os.path.join(BIN, "ksv-crate-server"), "--print-demo"],
                                     capture_output=True, text=True).stdout)
    sim, sim_port = crate_server()
    service, (scpi_line, web_line) = serve(sim_port)
    web_port = int(web_line)
    check(int(scpi_line) > 0 and web_port > 0, "serve names the SCPI port, then the web port")
    busy, _ = serve(sim_port, web_port)
    code = busy.wait(timeout=DEADLINE)
    check(code == 5, f"a busy --http-port is exit 5 ({code})")
    scpi = Scpi(int(scpi_line))
    check(wait_for(lambda: status(web_port)["modules"][0]["open"]), "the page sees the module open")
    check_http(web_port, scpi, service.pid)
    scpi.write("APER 0.2;TRIG:COUN INF;INIT")
    sim = check_browser(web_port, scpi, sim, sim_port, demo)
    scpi.sock.close()
    check(stop(service) == 0, "SIGTERM ends serve with status 0")
    stop(sim)
    check_crate_page()
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    finally:
        for child in started:
            if child.poll() is None:
                child.kill()
                child.wait()
