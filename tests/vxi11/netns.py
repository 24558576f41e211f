"""A private network for one test: the script runs again inside new network,
mount and process-id namespaces (unshare, killed with its parent), with
loopback up and a tmpfs on /run, so the daemons it starts (rpcbind,
dbus-daemon, avahi-daemon) and their sockets are its own and the machine's
network is never touched. When the script ends, however it ends, the
namespace's first process ends with it and the kernel kills every process
left in the namespace, also daemons that changed to a user of their own
(which makes the kernel forget PR_SET_PDEATHSIG)."""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import children  # noqa: E402


def enter():
    """Re-runs this script inside the namespaces; returns there."""
    if os.environ.get("KSV_TEST_NETNS") == "1":
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        subprocess.run(["mount", "-t", "tmpfs", "tmpfs", "/run"], check=True)
        return
    env = dict(os.environ, KSV_TEST_NETNS="1")
    # The namespace's first process is a shell that waits for the script: the
    # script then has a process id of its own to hand its children as their
    # parent (--parent refuses 1).
    inner = children.popen(["unshare", "--net", "--mount", "--pid", "--mount-proc", "--fork", "--kill-child",
                            "/bin/sh", "-c", '"$@"; exit $?', "sh", sys.executable] + sys.argv, env=env)
    sys.exit(inner.wait())


class Daemons:
    """Children that end when the test ends, however it ends."""

    def __init__(self):
        self.procs = []

    def start(self, args, **kwargs):
        proc = children.popen(args, **kwargs)
        self.procs.append(proc)
        return proc

    def stop_all(self):
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()


def wait_until(condition, what, seconds=30):
    """The condition's first true value, polled until the deadline."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise RuntimeError("timed out waiting for " + what)


def rpcbind(daemons):
    os.makedirs("/run/rpcbind", exist_ok=True)
    daemons.start(["rpcbind", "-f"])
    wait_until(lambda: subprocess.run(["rpcinfo", "-p", "127.0.0.1"], capture_output=True).returncode == 0,
               "rpcbind")
