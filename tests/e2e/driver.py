#!/usr/bin/python3
"""Runs the real KSV27_Vorn_User as a user would, from a fresh folder, against
the simulated crate server, on a virtual screen. It reads the window through
the accessibility bus (what a screen reader sees) and types through the X
server. Each case prints one line; any failure ends the run with status 1.

Usage: driver.py BIN_DIR [SCREENSHOT_PATH]   (run by run_e2e.sh)
"""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

import pyatspi

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import children  # noqa: E402

BIN = os.path.abspath(sys.argv[1])
SHOT = sys.argv[2] if len(sys.argv) > 2 else ""
PROGRAM = "KSV27_Vorn_User"
LIBS = ["libksvapi.so", "libksv27api.so"]
INI = "Ksv27_Vorn.ini"

FRESH_INI = (
    "[Приложение. Общие]\r\n"
    "Сохранение настроек=0\r\n"
    "Top    основной панели=-1\r\n"
    "Left   основной панели=-1\r\n"
    "Источник загрузки корректировочных коэфф.=0\r\n"
    "[Приложение. Обнаружение]\r\n"
    "Серийный номер KSV крейта=\r\n"
    "Слот модуля=-1\r\n"
    "[Модуль KSV27]\r\n"
    "Индекс частоты опроса=0\r\n"
    "Mаксимальное время сбора данных, с=1\r\n"
    "Групповое управление слотами=1\r\n"
    + "".join("Управление слотом %d=%d\r\n" % (n, 1 if n <= 6 else 0) for n in range(1, 9))
).encode("cp1251")

failures = []
passes = []
# Every wait is for an event and ends as soon as it has happened; the bounds
# only end a run that will never get there, so they are generous for a
# machine that is busy with other work.
START_BOUND = 60
STEP_BOUND = 30


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    (passes if condition else failures).append(what)
    return condition


def wait_for(predicate, timeout=20.0, period=0.1):
    end = time.time() + timeout
    while time.time() < end:
        try:
            value = predicate()
        except Exception:  # the tree changes under our feet while the window updates
            value = None
        if value:
            return value
        time.sleep(period)
    return None


def accessibility_registry_up():
    """Starts the accessibility bus and its registry before any program, so
    that every program finds both when it registers."""
    return wait_for(lambda: pyatspi.Registry.getDesktop(0).childCount >= 0, START_BOUND)


def clickable(node):
    """The place of a control the user can click now: shown, enabled and
    laid out on the screen; None while it is not."""
    states = node.getState()
    if not (states.contains(pyatspi.STATE_SHOWING) and states.contains(pyatspi.STATE_ENABLED)):
        return None
    ext = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return ext if ext.width > 0 and ext.height > 0 else None


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Server:
    def __init__(self, port, config=None):
        # --parent: the server dies with this driver, however the driver ends.
        args = [os.path.join(BIN, "ksv-crate-server"), "--port", str(port), "--parent", str(os.getpid())]
        if config:
            args += ["--config", config]
        self.port = port
        self.proc = subprocess.Popen(args, stderr=subprocess.DEVNULL)
        wait_for(self._listening, STEP_BOUND)

    def _listening(self):
        try:
            with socket.create_connection(("127.0.0.1", self.port), 0.2):
                return True
        except OSError:
            return False

    def control(self, command):
        subprocess.run([os.path.join(BIN, "ksv-crate-server"), "--port", str(self.port), "--control", command],
                       check=False, capture_output=True)

    def stop(self):
        self.proc.terminate()
        self.proc.wait(10)


def fresh_folder():
    # Inside the session's scratch folder, which run_e2e.sh removes.
    folder = tempfile.mkdtemp(prefix="ksv27-e2e-", dir=os.environ.get("E2E_SCRATCH"))
    for name in [PROGRAM] + LIBS:
        shutil.copy2(os.path.join(BIN, name), folder)
    return folder


def walk(node):
    yield node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


def text_of(node):
    try:
        return node.queryText().getText(0, -1)
    except Exception:
        return node.name


class App:
    """The program's process and its accessible tree."""

    def __init__(self, proc, display, log=None):
        self.proc = proc
        self.display = display
        self.log = log
        self.root = wait_for(lambda: self._find_root() or self.proc.poll() is not None, START_BOUND)
        if self.root is True:  # the program ended before it showed itself
            self.root = None
        if self.root is None:
            self.report()

    @classmethod
    def launch(cls, folder, port, display):
        env = dict(os.environ)
        env.update({"DISPLAY": display, "KSV_SIM_PORT": str(port), "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
                    "QT_QPA_PLATFORM": "xcb"})
        log = tempfile.TemporaryFile()
        proc = subprocess.Popen([os.path.join(folder, PROGRAM)], cwd="/", env=env,
                                stdout=log, stderr=subprocess.STDOUT)
        return cls(proc, display, log)

    def _find_root(self):
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            try:  # another program may be leaving the bus meanwhile
                app = desktop.getChildAtIndex(i)
                if app is not None and app.get_process_id() == self.proc.pid:
                    return app
            except Exception:
                continue
        return None

    def report(self):
        """Says why the program is not there: its state and its last output."""
        status = self.proc.poll()
        print("     the program %s" % ("is running" if status is None else "ended with status %s" % status), flush=True)
        if self.log is not None:
            for line in children.written(self.log).splitlines()[-15:]:
                print("     | " + line, flush=True)

    def nodes(self):
        return list(walk(self.root)) if self.root else []

    def by_description(self, description):
        for n in self.nodes():
            if n.description == description:
                return n
        return None

    def by_name(self, name, roles=None):
        for n in self.nodes():
            if n.name == name and (roles is None or n.getRoleName() in roles):
                return n
        return None

    def by_name_prefix(self, prefix, roles=None):
        return [n for n in self.nodes() if n.name.startswith(prefix) and (roles is None or n.getRoleName() in roles)]

    def dialog(self):
        for n in self.nodes():
            if n.getRoleName() in ("dialog", "alert") and n.childCount:
                return n
        return None

    def dialog_text(self, dialog):
        return " ".join(text_of(n) for n in walk(dialog) if n.getRoleName() in ("label", "text", "static"))

    def answer_dialog(self, dialog):
        for n in walk(dialog):
            if n.getRoleName() == "push button":
                n.queryAction().doAction(0)
                return True
        return False

    def answer_message(self, text):
        """Waits for a message box and answers it; whether it showed `text`."""
        dialog = wait_for(self.dialog, START_BOUND)
        if dialog is None:
            return False
        shown = text in self.dialog_text(dialog)
        self.answer_dialog(dialog)
        return shown

    def press(self, node):
        node.queryAction().doAction(0)

    def click(self, node):
        """A real mouse click in the middle of the control, once the control
        can take it. A control that never can is left alone: the check on
        what the click does reports it."""
        ext = wait_for(lambda: clickable(node), STEP_BOUND)
        if ext is None:
            return
        self.xdotool("mousemove", "--sync", str(ext.x + ext.width // 2), str(ext.y + ext.height // 2))
        self.xdotool("click", "1")

    def xdotool(self, *args):
        env = dict(os.environ, DISPLAY=self.display)
        try:
            return subprocess.run(["xdotool"] + list(args), env=env, capture_output=True, text=True,
                                  timeout=STEP_BOUND).stdout
        except subprocess.TimeoutExpired:
            return ""

    def window_id(self):
        # The main window, not a dialog: its title begins with the program's name.
        ids = self.xdotool("search", "--pid", str(self.proc.pid), "--name", "^KSV27").split()
        return ids[0] if ids else None

    def keys(self, combo):
        wid = wait_for(self.window_id, STEP_BOUND)
        if wid:
            self.xdotool("windowfocus", "--sync", wid)
            time.sleep(0.3)
            self.xdotool("key", "--clearmodifiers", combo)

    def geometry(self):
        frame = [n for n in self.nodes() if n.getRoleName() == "frame"]
        if not frame:
            return None
        ext = frame[0].queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return ext.x, ext.y, ext.width, ext.height

    def wait_exit(self, timeout=STEP_BOUND):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            return None

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(5)


def serial_shown(app):
    label = app.by_description("Серийный номер модуля")
    return text_of(label) if label is not None and text_of(label) not in ("", "????????") else None


def channel_values(app):
    values = {}
    for n in app.by_name_prefix("Канал", ("text", "entry")):
        values[n.name] = text_of(n)
    return values


def start_button(app):
    for n in app.nodes():
        if n.name in ("С   Т   А   Р   Т", "С   Т   О   П"):
            return n
    return None


def statistics(app):
    """The trend window's statistics table: its cells' texts by channel caption."""
    table = app.by_name("Статистика каналов", ("table",))
    if table is None:
        return None
    cells = table.queryTable()
    rows = {}
    for r in range(cells.nRows):
        texts = [text_of(cells.getAccessibleAt(r, c)) for c in range(cells.nColumns)]
        rows[texts[0]] = texts
    return rows


def trend_statistics(app):
    # Columns: channel, unit, count, min, max, mean, spread, last, peak-to-peak, limits, crossings. The demo's slot 1 holds 125 mV and
    # 250 mV, slot 7 a resistance of 47 Ohm.
    app.keys("ctrl+t")
    rows = wait_for(lambda: (lambda s: s if s and s.get("Канал 13", ["0"] * 3)[2] not in ("0", "") else None)(
        statistics(app)), 15)
    check(rows is not None, "Ctrl+T opens the trend window with its statistics on the accessibility bus")
    if rows:
        one, thirteen = rows.get("Канал 1", []), rows.get("Канал 13", [])
        check(one[1:2] == ["мВ"] and one[5:7] == ["125.000", "0.000"], "channel 1: mean 125.000 mV (%s)" % one)
        check(thirteen[1:2] == ["Ом"] and thirteen[5] == "47.000", "channel 13: mean 47.000 Ohm (%s)" % thirteen)
        check(one[8:] == ["0.000", "", "", "0"], "channel 1: no swing, no limits, no crossing (%s)" % one[8:])
    # Hovering over channel 1's strip, near the trace's start at the left (the
    # plot begins right of the gutter and the value labels), reads its value.
    chart = app.by_name("Графики каналов")
    ext = wait_for(lambda: clickable(chart), STEP_BOUND) if chart is not None else None
    reading = None
    for dx in range(150, 460, 10) if ext is not None else ():
        app.xdotool("mousemove", "--sync", str(ext.x + dx), str(ext.y + 30))
        reading = wait_for(lambda: (lambda n: n.description if n is not None and "Канал 1: 125.000 мВ" in n.description
                                    else None)(app.by_name("Курсор")), 1)
        if reading is not None:
            break
    check(reading is not None, "the cursor reads channel 1 at 125.000 mV (%s)" % reading)
    # The plots' own description carries the whole readout: every measured channel.
    measured = sorted(name for name, texts in (rows or {}).items() if texts[2:3] not in (["0"], [""]))
    described = chart.description if chart is not None and reading is not None else ""
    missing = [name for name in measured if name + ":" not in described]
    check(measured and not missing, "the cursor names all %d measured channels (missing %s)" % (len(measured), missing))
    close = app.by_name("Закрыть тренд", ("push button",))
    if close is not None:
        app.press(close)
    check(wait_for(lambda: app.by_name("Статистика каналов", ("table",)) is None, 10) is not None,
          "the trend window closes")


def save_button(app):
    return app.by_name("Сохранить", ("push button",))


def save_finished(app):
    """The save that has begun is over: the save button, disabled for the
    whole save and a moment after it, takes clicks again."""
    button = save_button(app)
    return button is not None and button.getState().contains(pyatspi.STATE_ENABLED)


def ini_bytes(folder):
    with open(os.path.join(folder, INI), "rb") as f:
        return f.read()


def ini_value(folder, key):
    for line in ini_bytes(folder).decode("cp1251").splitlines():
        if "=" in line and line.split("=", 1)[0].strip() == key:
            return line.split("=", 1)[1].strip()
    return None


def screenshot(display, path):
    if path:
        os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
        subprocess.run(["import", "-window", "root", path], env=dict(os.environ, DISPLAY=display), check=False)


def first_start_measure_and_save(display):
    port = free_port()
    server = Server(port)
    folder = fresh_folder()
    app = App.launch(folder, port, display)
    try:
        check(app.root is not None, "the program appears on the accessibility bus")
        serial = wait_for(lambda: serial_shown(app), START_BOUND)
        check(bool(serial), "first start opens the first module and shows its serial (%s)" % serial)
        check(os.path.exists(os.path.join(folder, INI)) and ini_bytes(folder) == FRESH_INI,
              "first start creates %s with the default bytes" % INI)
        firmware = app.by_description("Версия микропрограммы модуля")
        check(firmware is not None and text_of(firmware).count(".") == 3, "the firmware version is shown")

        button = start_button(app)
        check(button is not None, "the START button is there")
        app.click(button)
        measured = wait_for(lambda: [v for v in channel_values(app).values() if v[:1].isdigit() or v[:1] == "-"
                                     and v[1:2].isdigit()], STEP_BOUND)
        check(bool(measured), "START measures and shows values (%s)" % (measured[:3] if measured else None))
        time.sleep(1.5)
        screenshot(display, SHOT)
        trend_statistics(app)
        app.click(start_button(app))
        check(wait_for(lambda: start_button(app).name == "С   Т   А   Р   Т", STEP_BOUND) is not None,
              "the second press stops and the button reads START again")

        app.keys("ctrl+s")
        # The save writes the file a key at a time; the serial shows that it
        # has begun, and the rest is read once it is over.
        saved = wait_for(lambda: ini_value(folder, "Серийный номер KSV крейта") not in (None, ""), STEP_BOUND)
        if saved:
            wait_for(lambda: save_finished(app), STEP_BOUND)
        check(saved is not None, "Ctrl+S writes the current crate serial")
        check(ini_value(folder, "Слот модуля") not in (None, "-1"), "Ctrl+S writes the module slot")
        check(ini_value(folder, "Индекс частоты опроса") == "0", "Ctrl+S writes the rate index")
        check(ini_value(folder, "Управление слотом 7") is not None, "Ctrl+S writes the slot states")

        auto = [n for n in app.nodes() if n.name.strip() == "Авто Сохранение"]
        check(bool(auto), "the auto-save box is there")
        if auto:
            app.press(auto[0])
            time.sleep(0.3)
        app.keys("ctrl+q")
        check(app.wait_exit(STEP_BOUND) == 0, "Ctrl+Q closes the program with status 0")
        check(ini_value(folder, "Сохранение настроек") == "1", "closing with auto-save on saves the settings")
        return folder, port, server
    except Exception:
        app.kill()
        server.stop()
        raise


def second_start_restores(display, folder, server):
    # Place the window and choose the second module of the first demo crate
    # (slot 5, serial 27A-1002) by hand.
    text = ini_bytes(folder).decode("cp1251")
    lines = []
    for line in text.split("\r\n"):
        key = line.split("=", 1)[0]
        if key == "Top    основной панели":
            line = key + "=40"
        elif key == "Left   основной панели":
            line = key + "=60"
        elif key == "Слот модуля":
            line = key + "=5"
        lines.append(line)
    with open(os.path.join(folder, INI), "wb") as f:
        f.write("\r\n".join(lines).encode("cp1251"))
    app = App.launch(folder, server.port, display)
    try:
        serial = wait_for(lambda: serial_shown(app), START_BOUND)
        check(serial == "27A-1002", "the second start opens the saved module (%s)" % serial)
        geometry = wait_for(app.geometry, STEP_BOUND)
        check(geometry is not None and abs(geometry[0] - 60) <= 12 and abs(geometry[1] - 40) <= 40,
              "the second start restores the window position (%s)" % (geometry,))
        app.keys("ctrl+q")
        check(app.wait_exit(STEP_BOUND) == 0, "the second session ends with status 0")
    finally:
        app.kill()


def no_server(display):
    folder = fresh_folder()
    app = App.launch(folder, free_port(), display)
    try:
        check(app.answer_message("Не могу найти ни одного KSV крейта!"),
              "without a crate server the program says it finds no crate")
        find = wait_for(lambda: app.by_name("Обнаружить", ("push button",)), STEP_BOUND)
        check(find is not None and wait_for(lambda: find.getState().contains(pyatspi.STATE_ENABLED), STEP_BOUND),
              "the window stays usable: the find button is enabled again")
        app.keys("ctrl+q")
        check(app.wait_exit(STEP_BOUND) == 0, "the session without a server ends with status 0")
    finally:
        app.kill()


def small_screen(display):
    folder = fresh_folder()
    app = App.launch(folder, free_port(), display)
    try:
        check(app.answer_message("Разрешение монитора должно быть не ниже 1280x768!"),
              "a 1024 x 768 screen shows the resolution message")
        check(app.wait_exit(STEP_BOUND) == 0, "and the program ends with status 0")
        check(not os.path.exists(os.path.join(folder, INI)), "without writing a settings file")
    finally:
        app.kill()


class Started:
    """A process that another process started: enough of Popen for App."""

    def __init__(self, pid):
        self.pid = pid

    def poll(self):
        return None if os.path.exists("/proc/%d" % self.pid) else 0

    def kill(self):
        try:
            os.kill(self.pid, 9)
        except OSError:
            pass

    def wait(self, timeout=None):
        return 0 if wait_for(lambda: self.poll() is not None, timeout or 20) else None


def installed_demo(display, prefix):
    """The installed demo launcher starts the crate server and the program."""
    launcher = os.path.join(prefix, "bin", "ksv27-vorn-demo")
    if not check(os.access(launcher, os.X_OK), "the install has the demo launcher"):
        return
    # The launcher's demo folder goes into the session's scratch, not the caller's home.
    env = dict(os.environ, DISPLAY=display, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               XDG_DATA_HOME=os.path.join(os.environ["E2E_SCRATCH"], "data"))
    env.pop("KSV_SIM_PORT", None)
    proc = subprocess.Popen([launcher], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        def program():
            out = subprocess.run(["pgrep", "-P", str(proc.pid), "-x", PROGRAM], capture_output=True, text=True)
            return int(out.stdout.split()[0]) if out.stdout.split() else None
        pid = wait_for(program, START_BOUND)
        if not check(pid is not None, "the installed program starts"):
            return
        app = App(Started(pid), display)
        serial = wait_for(lambda: serial_shown(app), START_BOUND) if app.root else None
        check(serial == "27A-1001", "the installed program runs the demo (%s)" % serial)
        app.keys("ctrl+q")
        check(proc.wait(STEP_BOUND) == 0, "the demo launcher ends with the program, status 0")
    finally:
        if proc.poll() is None:
            proc.kill()


def main():
    big, small = os.environ["E2E_DISPLAY"], os.environ["E2E_SMALL_DISPLAY"]
    if not check(accessibility_registry_up(), "the accessibility registry answers"):
        sys.exit(1)
    folder, port, server = first_start_measure_and_save(big)
    try:
        second_start_restores(big, folder, server)
    finally:
        server.stop()
    no_server(big)
    small_screen(small)
    if os.environ.get("E2E_INSTALL_PREFIX"):
        installed_demo(big, os.environ["E2E_INSTALL_PREFIX"])
    print("%d passed, %d failed" % (len(passes), len(failures)))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
