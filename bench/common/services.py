"""The programs a bench script measures, started on free loopback ports: the
crate server and `ksv27-vorn-cli serve`. Each one dies with the script
however it ends (tests/support/children.py); the ports come from the first
lines each prints."""
import os
import signal
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "support"))
import children  # noqa: E402


def port_of(line):
    """The port of `... listening on 127.0.0.1:PORT (...)`, or of a line that is only the port."""
    return int(line.split(":")[-1].split()[0])


def start(args, env=None, lines=1):
    """Starts `args` with its standard output read here: the process and the
    ports told by its first `lines` lines."""
    proc = children.popen(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, env=env)
    return proc, [port_of(proc.stdout.readline()) for _ in range(lines)]


def crate_server(bin_dir):
    """ksv-crate-server playing its demo: the process and its port."""
    proc, (port,) = start([os.path.join(bin_dir, "ksv-crate-server"), "--port", "0"])
    return proc, port


def sim_env(sim_port):
    """This script's environment with the crate libraries sent to `sim_port`."""
    return dict(os.environ, KSV_SIM_PORT=str(sim_port))


def serve(bin_dir, sim_port, *args, lines=1):
    """`ksv27-vorn-cli serve --port 0 ARGS` on the crate server at `sim_port`:
    the process and the ports of its first `lines` lines, the SCPI port first."""
    return start([os.path.join(bin_dir, "ksv27-vorn-cli"), "serve", "--port", "0", *args],
                 env=sim_env(sim_port), lines=lines)


def stop(*procs):
    """SIGTERM to each in turn, waiting up to 20 s for it to exit."""
    for proc in procs:
        proc.send_signal(signal.SIGTERM)
        proc.wait(timeout=20)


def cpu_seconds(pid):
    """The user and system CPU time process `pid` has had so far."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
