#!/usr/bin/python3
"""Renews docs/screenshot-trend.png: the program against the demo crate
server, the first crate's second module (slot 5) measuring, the trend window
open with one upper limit typed into its table, a few minutes of the module's
slow drift, then a screenshot of the screen. Every wait is bounded.

Usage (a virtual screen and a session bus of its own):
  xvfb-run -a -s "-screen 0 1920x1080x24" dbus-run-session -- \\
      /usr/bin/python3 scripts/trend-screenshot.py build/bin docs/screenshot-trend.png [SECONDS] [OPTIONS]
Options:
  --size WxH|min  the trend window's size (default 1260x720, its default;
                  min: the least it allows)
  --sixteen       a module of its own with all sixteen channels measuring
                  (eight two-channel boards) instead of the demo's
  --scrolled      the strips scrolled to the last one (Shift+wheel)
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from driver import (FRESH_INI, INI, App, Server, clickable, free_port, fresh_folder, serial_shown,  # noqa: E402
                    start_button, statistics, text_of, wait_for)

SHOT = os.path.abspath(sys.argv[2])
OPTIONS = sys.argv[3:]
SECONDS = float(OPTIONS.pop(0)) if OPTIONS and not OPTIONS[0].startswith("--") else 240.0
SIZE = OPTIONS[OPTIONS.index("--size") + 1] if "--size" in OPTIONS else "1260x720"
SIXTEEN = "--sixteen" in OPTIONS
SCROLLED = "--scrolled" in OPTIONS
LIMITED = "Канал 7"  # the large level of slot 4's U10 board (of the sixteen: a small level)
LIMIT = "9501"


def sixteen_channel_scenario():
    """A crate whose module in slot 5 measures on all sixteen channels:
    levels from millivolts to volts, each with a slow wave of its own."""
    boards = []
    for board in range(8):
        channels = [{"dc": 0.0125 * (board + 1), "amplitude": 0.0004, "frequency": 0.01 * (board + 1)},
                    {"dc": 1.5 + board, "amplitude": 0.002, "frequency": 0.013 * (board + 1),
                     "noise": 0.0002, "seed": board + 1}]
        boards.append({"name": "U10", "serial": "S16-%d" % board, "channels": channels})
    scenario = {"crates": [{"serial": "KSV-C-0001", "slots": [
        {"slot": 5, "id": 6939, "name": "KSV27", "serial": "27S-1616", "firmware": "3.2.1.0", "mezzanines": boards}]}]}
    path = os.path.join(tempfile.mkdtemp(prefix="ksv27-sixteen-"), "sixteen.json")
    with open(path, "w") as f:
        json.dump(scenario, f)
    return path


def window_size(app, wid):
    """The size asked for, as "W H"; min: the least the window allows (its
    size hints on the X server)."""
    if SIZE != "min":
        return SIZE.split("x")
    hints = subprocess.run(["xprop", "-id", wid, "WM_NORMAL_HINTS"], capture_output=True, text=True).stdout
    match = re.search(r"minimum size: (\d+) by (\d+)", hints)
    return [match.group(1), match.group(2)]


def main():
    server = Server(free_port(), sixteen_channel_scenario() if SIXTEEN else None)
    folder = fresh_folder()
    with open(os.path.join(folder, INI), "wb") as f:
        text = FRESH_INI.decode("cp1251").replace("Слот модуля=-1", "Слот модуля=5")
        f.write(text.replace("KSV крейта=\r\n", "KSV крейта=KSV-C-0001\r\n").encode("cp1251"))
    app = App.launch(folder, server.port, os.environ["DISPLAY"])
    try:
        serial = wait_for(lambda: serial_shown(app), 60)
        print("module:", serial)
        app.click(start_button(app))
        time.sleep(2)
        app.keys("ctrl+t")
        wait_for(lambda: statistics(app), 20)
        wid = wait_for(lambda: app.xdotool("search", "--name", "^Тренд каналов$").split(), 20)
        if wid:
            app.xdotool("windowmove", "--sync", wid[0], "40", "20")
        time.sleep(2)
        # The span: everything since START, so the drift fills the width.
        app.click(app.by_name("Интервал тренда"))
        time.sleep(0.5)
        app.xdotool("key", "End")
        app.xdotool("key", "Return")
        table = app.by_name("Статистика каналов", ("table",))
        cells = table.queryTable()
        for r in range(cells.nRows):
            if text_of(cells.getAccessibleAt(r, 0)) == LIMITED:
                ext = clickable(cells.getAccessibleAt(r, 10))
                x, y = str(ext.x + ext.width // 2), str(ext.y + ext.height // 2)
                app.xdotool("mousemove", "--sync", x, y)
                app.xdotool("click", "--repeat", "2", "1")
                time.sleep(0.5)
                app.xdotool("type", LIMIT)
                app.xdotool("key", "Return")
        # Sized once the limit is typed, where every row of the table is in view.
        if wid:
            app.xdotool("windowsize", "--sync", wid[0], *window_size(app, wid[0]))
        app.xdotool("mousemove", "5", "5")
        time.sleep(SECONDS)
        chart = app.by_name("Графики каналов")
        ext = clickable(chart)
        # The cursor over the first strip shown, three quarters across.
        app.xdotool("mousemove", "--sync", str(ext.x + ext.width * 3 // 4), str(ext.y + 40))
        if SCROLLED:
            app.xdotool("keydown", "shift", "click", "--repeat", "40", "5", "keyup", "shift")
            time.sleep(0.5)
            app.xdotool("mousemove", "--sync", str(ext.x + ext.width * 3 // 4 + 1), str(ext.y + 40))
        time.sleep(1.5)
        subprocess.run(["import", "-window", "root", SHOT], check=True)
        print("written:", SHOT)
        app.keys("ctrl+q")
        app.wait_exit(30)
    finally:
        app.kill()
        server.stop()


main()
