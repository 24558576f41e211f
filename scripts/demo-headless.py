#!/usr/bin/python3
"""The demo on a machine without a desktop, run by demo.sh on a virtual screen
with a session bus: starts the program against the running crate server,
presses START with a real click, lets a few measurement cycles pass, saves a
screenshot of the window, prints its path and the values the window shows,
and closes the program. Every wait is bounded; exit status 0 when it all
worked, 1 otherwise.

Usage: demo-headless.py BIN_DIR SCREENSHOT_PATH
The crate server's port is KSV_SIM_PORT (default 11111).
"""
import os
import re
import subprocess
import sys
import time

# The window is read as the user-session test reads it: through the
# accessibility bus, with the same helpers.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import pyatspi  # noqa: E402
from driver import App, channel_values, serial_shown, start_button, text_of, wait_for  # noqa: E402

CYCLES_SECONDS = 4.0  # a few cycles at the default acquisition time of 1 s
STOP_CAPTION = "С   Т   О   П"
START_CAPTION = "С   Т   А   Р   Т"


def fail(app, what):
    print("demo: " + what, file=sys.stderr)
    dialog = app.dialog() if app.root else None
    if dialog is not None:
        print("demo: the window says: " + app.dialog_text(dialog), file=sys.stderr)
    sys.exit(1)


def enabled_start(app):
    button = start_button(app)
    return button if button is not None and button.getState().contains(pyatspi.STATE_ENABLED) else None


def press_start(app):
    """Clicks START once it is enabled, and again if the first click came
    before the window took it (the button then still reads START)."""
    for _ in range(3):
        button = wait_for(lambda: enabled_start(app), 15)
        if button is None:
            return False
        if button.name == STOP_CAPTION:
            return True
        app.click(button)
        if wait_for(lambda: start_button(app).name == STOP_CAPTION, 5):
            return True
    return False


def measuring(app):
    """True once some channel shows a number."""
    return any(v[:1].isdigit() or (v[:1] == "-" and v[1:2].isdigit()) for v in channel_values(app).values())


def channel_number(name):
    found = re.search(r"\d+", name)
    return int(found.group()) if found else 0


def save_window(app, path):
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    if os.path.exists(path):
        os.remove(path)
    wid = app.window_id()
    target = ["-window", wid] if wid else ["-window", "root"]
    subprocess.run(["import"] + target + [path], env=dict(os.environ, DISPLAY=app.display), check=False)
    return os.path.exists(path) and os.path.getsize(path) > 0


def report(app, path, values):
    print("Screenshot: " + os.path.abspath(path))
    serial = app.by_description("Серийный номер модуля")
    firmware = app.by_description("Версия микропрограммы модуля")
    print("Module: %s, firmware %s" % (text_of(serial) if serial else "?", text_of(firmware) if firmware else "?"))
    for name in sorted(values, key=channel_number):  # "Канал 3: значение" -> "Канал 3"
        print("  %s: %s" % (name.split(":")[0], values[name]))


def close(app):
    button = start_button(app)
    if button is not None and button.name == STOP_CAPTION:
        app.click(button)
        wait_for(lambda: start_button(app).name == START_CAPTION, 15)
    app.keys("ctrl+q")
    return app.wait_exit(20) == 0


def main():
    bin_dir, path = os.path.abspath(sys.argv[1]), sys.argv[2]
    port = int(os.environ.get("KSV_SIM_PORT") or 11111)
    app = App.launch(bin_dir, port, os.environ["DISPLAY"])
    try:
        if app.root is None:
            fail(app, "the program did not appear on the accessibility bus")
        if not wait_for(lambda: serial_shown(app), 30):
            fail(app, "no module was opened")
        if not press_start(app):
            fail(app, "START could not be pressed")
        if not wait_for(lambda: measuring(app), 20):
            fail(app, "START showed no values")
        time.sleep(CYCLES_SECONDS)
        if not save_window(app, path):
            fail(app, "the screenshot could not be saved")
        values = channel_values(app)  # read at once: as a rule the cycle the picture shows
        report(app, path, values)
        if not close(app):
            fail(app, "the program did not close with status 0")
    finally:
        app.kill()


if __name__ == "__main__":
    main()
