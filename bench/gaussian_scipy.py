"""scipy's side of the Gaussian filter benchmark.

Usage: gaussian_scipy.py VOLUME SIZE_X SIZE_Y SIZE_Z ROUNDS
For every scale it times scipy.ndimage.gaussian_filter on the uint8 volume (the kernel's own sigma,
zero outside the volume) twice: with `truncate` chosen so that scipy uses as many taps as the filter
(the 24-tap kernel has no odd twin: scipy gets 25), and with scipy's default truncate. It prints
"scale equal_taps equal_seconds default_taps default_seconds" lines (medians of ROUNDS) and writes the
exact integer pipeline's result, the reference the benchmark compares with, to VOLUME.scaleN.
"""
import os
import statistics
import sys
import time

import numpy as np
from scipy import ndimage

# The exact pipeline is the one the tests check the filter against.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, 'tests', 'core', 'oracles'))
from gaussian_reference import KERNELS, smooth  # noqa: E402

DEFAULT_TRUNCATE = 4.0


def sigma(taps):
    w = np.array(taps, dtype=np.float64)
    i = np.arange(len(w))
    mean = (w * i).sum() / w.sum()
    return float(np.sqrt((w * (i - mean) ** 2).sum() / w.sum()))


def taps_for(s, truncate):
    # scipy's own rule for the kernel radius.
    return 2 * int(truncate * s + 0.5) + 1


def median_seconds(rounds, work):
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        work()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main(path, x, y, z, rounds):
    volume = np.fromfile(path, dtype=np.uint8).reshape(z, y, x)
    for scale, (taps, _) in KERNELS.items():
        smooth(volume, scale).tofile('%s.scale%d' % (path, scale))
        s = sigma(taps)
        # A quarter tap of slack keeps scipy's rounding on the intended radius.
        equal = (len(taps) // 2 + 0.25) / s
        timings = []
        for truncate in (equal, DEFAULT_TRUNCATE):
            seconds = median_seconds(
                rounds, lambda: ndimage.gaussian_filter(volume, s, mode='constant', cval=0, truncate=truncate))
            timings += [taps_for(s, truncate), seconds]
        print(scale, *timings, flush=True)


if __name__ == '__main__':
    main(sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5]))
