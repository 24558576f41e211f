#!/usr/bin/python3
"""Discovery of `serve` as test software finds instruments: a VXI-11
broadcast (`lxi discover`) answered by the portmapper, and DNS-SD through
avahi-daemon (`avahi-browse`). Inside a network namespace of its own: a veth
pair with a broadcast address, its own rpcbind, system bus and avahi-daemon
allowed on the veth only.

Usage: discovery_test.py BIN_DIR   (runs as root)
"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scpi"))
import netns  # noqa: E402

netns.enter()

from scpi_visa_test import BIN, check, crate_server, failures  # noqa: E402

AVAHI_CONF = """[server]
use-ipv4=yes
use-ipv6=no
allow-interfaces=veth0,veth1
enable-dbus=yes
[publish]
publish-workstation=no
publish-hinfo=no
"""
daemons = netns.Daemons()


def network():
    for command in ("link add veth0 type veth peer name veth1", "addr add 10.213.0.1/24 brd + dev veth0",
                    "addr add 10.213.0.2/24 brd + dev veth1", "link set veth0 up", "link set veth1 up"):
        subprocess.run(["ip"] + command.split(), check=True)


def bus_and_avahi(folder):
    os.makedirs("/run/dbus", exist_ok=True)
    daemons.start(["dbus-daemon", "--system", "--nofork", "--nopidfile"], stderr=subprocess.DEVNULL)
    netns.wait_until(lambda: os.path.exists("/run/dbus/system_bus_socket"), "the system bus")
    conf = os.path.join(folder, "avahi-daemon.conf")
    with open(conf, "w") as f:
        f.write(AVAHI_CONF)
    os.makedirs("/run/avahi-daemon", exist_ok=True)
    daemons.start(["avahi-daemon", "-f", conf, "--no-chroot", "--no-drop-root", "--no-rlimits"],
                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    netns.wait_until(lambda: browse("_scpi-raw._tcp") is not None, "avahi-daemon")


def browse(service_type):
    """The resolved entries (fields of avahi-browse -p), None while no daemon answers.

    avahi-browse -t now and then never sees "all for now" while records come
    and go (a known fault of the tool): such a run is cut short and counts as
    no answer, so a caller asks again rather than take it as an empty list."""
    try:
        run = subprocess.run(["avahi-browse", "-rpt", service_type], capture_output=True, text=True, timeout=10)
    except subprocess.TimeoutExpired:
        print(f"avahi-browse {service_type} gave no answer in 10 s; asking again", file=sys.stderr)
        return None
    if run.returncode != 0:
        return None
    return [line.split(";") for line in run.stdout.splitlines() if line.startswith("=")]


def serve(sim_port, log):
    env = dict(os.environ, KSV_SIM_PORT=str(sim_port))
    proc = daemons.start([os.path.join(BIN, "ksv27-vorn-cli"), "serve", "--listen", "0.0.0.0", "--port", "0"],
                         stdout=subprocess.PIPE, stderr=log, text=True, env=env)
    return proc, int(proc.stdout.readline() or 0)


def found(service_type, port):
    """The entries announcing port, None when avahi-browse gave no answer."""
    entries = browse(service_type)
    if entries is None:
        return None
    return [e for e in entries if len(e) > 9 and e[8] == str(port)]


def main():
    try:
        network()
        netns.rpcbind(daemons)
        with tempfile.TemporaryDirectory() as folder:
            bus_and_avahi(folder)
            server = crate_server()
            daemons.procs.append(server.proc)
            log = open(os.path.join(folder, "serve.log"), "w+")
            proc, port = serve(server.port, log)

            discover = subprocess.run(["lxi", "discover", "-t", "3"], capture_output=True, text=True, timeout=120)
            check("10.213.0." in discover.stdout and "KSV27" in discover.stdout,
                  f"lxi discover finds it by broadcast: {discover.stdout.strip()!r}")

            entry = netns.wait_until(lambda: found("_scpi-raw._tcp", port), "the _scpi-raw._tcp announcement",
                                     seconds=60)[0]
            check(all(key in entry[9] for key in ('"txtvers=1"', '"Model=KSV27"', '"SerialNumber=27A-1001"')),
                  f"avahi-browse -rpt _scpi-raw._tcp finds it with LXI's TXT keys: {entry}")
            netns.wait_until(lambda: browse("_vxi-11._tcp"), "the _vxi-11._tcp announcement", seconds=60)

            twin, twin_port = serve(server.port, log)
            twin_entry = netns.wait_until(lambda: found("_scpi-raw._tcp", twin_port),
                                          "the second service's announcement", seconds=60)[0]
            check(twin_entry[3] != entry[3], "a second service is announced renamed")
            for p in (twin, proc):
                p.terminate()
                p.wait(timeout=30)
            netns.wait_until(lambda: found("_scpi-raw._tcp", port) == [], "the withdrawal", seconds=60)
            check(True, "the announcement is withdrawn at exit")
    finally:
        daemons.stop_all()
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
