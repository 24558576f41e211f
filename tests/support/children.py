"""Child processes of a test script that end with it, however it ends: the
kernel sends SIGKILL to each one when the script dies (PR_SET_PDEATHSIG), so a
killed or crashed test never leaves a service holding a port or ctest's
output. The signal follows the thread that started the child, so start
children from the script's main thread."""
import ctypes
import os
import signal
import subprocess

_libc = ctypes.CDLL(None, use_errno=True)
_PR_SET_PDEATHSIG = 1


def _die_with_parent():
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGKILL)


def popen(args, **kwargs):
    """subprocess.Popen for a child that must not outlive the test."""
    return subprocess.Popen(args, preexec_fn=_die_with_parent, **kwargs)


def written(file):
    """Everything a child has written so far to `file`, a file object it
    shares. pread leaves the shared offset the child writes at alone; a seek
    would move it under the child and let it overwrite its own lines."""
    fd = file.fileno()
    return os.pread(fd, os.fstat(fd).st_size, 0).decode("utf-8", "replace")
