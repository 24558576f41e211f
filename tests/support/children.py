"""Child processes of a test script that end with it, however it ends: the
kernel sends SIGKILL to each one when the script dies (PR_SET_PDEATHSIG), so a
killed or crashed test never leaves a service holding a port or ctest's
output. The signal follows the thread that started the child, so start
children from the script's main thread."""
import ctypes
import signal
import subprocess

_libc = ctypes.CDLL(None, use_errno=True)
_PR_SET_PDEATHSIG = 1


def _die_with_parent():
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGKILL)


def popen(args, **kwargs):
    """subprocess.Popen for a child that must not outlive the test."""
    return subprocess.Popen(args, preexec_fn=_die_with_parent, **kwargs)
