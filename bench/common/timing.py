"""Round-trip times of a bench script's client and their percentiles."""
import time


def timed(call, count):
    """Runs `call` `count` times: each run's duration in seconds."""
    times = []
    for _ in range(count):
        t = time.perf_counter()
        call()
        times.append(time.perf_counter() - t)
    return times


def percentile(values, share):
    """The value `share` (0..1) of the way up the sorted `values`."""
    values = sorted(values)
    return values[min(len(values) - 1, int(share * len(values)))]
