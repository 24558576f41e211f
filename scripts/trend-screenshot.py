#!/usr/bin/python3
"""Renews docs/screenshot-trend.png: the program against the demo crate
server, the first crate's second module (slot 5) measuring, the trend window
open with one upper limit typed into its table, a few minutes of the module's
slow drift, then a screenshot of the screen. Every wait is bounded.

Usage (a virtual screen and a session bus of its own):
  xvfb-run -a -s "-screen 0 1920x1080x24" dbus-run-session -- \\
      /usr/bin/python3 scripts/trend-screenshot.py build/bin docs/screenshot-trend.png [SECONDS]
"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from driver import (FRESH_INI, INI, App, Server, clickable, free_port, fresh_folder, serial_shown,  # noqa: E402
                    start_button, statistics, text_of, wait_for)

SHOT = os.path.abspath(sys.argv[2])
SECONDS = float(sys.argv[3]) if len(sys.argv) > 3 else 240.0
LIMITED = "Канал 7"  # the large level of slot 4's U10 board
LIMIT = "9501"


def main():
    server = Server(free_port())
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
            app.xdotool("windowsize", "--sync", wid[0], "1840", "1040")
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
        app.xdotool("mousemove", "5", "5")
        time.sleep(SECONDS)
        chart = app.by_name("Графики каналов")
        ext = clickable(chart)
        # The cursor over the first strip, three quarters across.
        app.xdotool("mousemove", "--sync", str(ext.x + ext.width * 3 // 4), str(ext.y + 40))
        time.sleep(1.5)
        subprocess.run(["import", "-window", "root", SHOT], check=True)
        print("written:", SHOT)
        app.keys("ctrl+q")
        app.wait_exit(30)
    finally:
        app.kill()
        server.stop()


main()
