"""scipy's side of the Gaussian filter benchmark.

Usage: gaussian_scipy.py VOLUME SIZE_X SIZE_Y SIZE_Z REPEATS
Times, for every scale, the exact integer pipeline (correlate1d on int64 along x, y, z, each pass
followed by its shift) and scipy.ndimage.gaussian_filter on float64 with the kernel's own sigma. Prints
"scale pipeline_seconds gaussian_filter_seconds" lines (best of REPEATS) and writes the pipeline's
result to VOLUME.scaleN for the caller to compare.
"""
import os
import sys
import time

import numpy as np
from scipy import ndimage

# The exact pipeline timed here is the one the tests check the filter against.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, 'tests', 'core', 'oracles'))
from gaussian_reference import KERNELS, smooth  # noqa: E402


def sigma(taps):
    w = np.array(taps, dtype=np.float64)
    i = np.arange(len(w))
    mean = (w * i).sum() / w.sum()
    return float(np.sqrt((w * (i - mean) ** 2).sum() / w.sum()))


def best(repeats, work):
    times = []
    result = None
    for _ in range(repeats):
        start = time.perf_counter()
        result = work()
        times.append(time.perf_counter() - start)
    return min(times), result


def main(path, x, y, z, repeats):
    volume = np.fromfile(path, dtype=np.uint8).reshape(z, y, x)
    for scale, (taps, _) in KERNELS.items():
        exact_time, exact = best(repeats, lambda: smooth(volume, scale))
        exact.tofile('%s.scale%d' % (path, scale))
        s = sigma(taps)
        float_time, _ = best(repeats, lambda: ndimage.gaussian_filter(volume.astype(np.float64), s, mode='constant'))
        print(scale, exact_time, float_time, flush=True)


if __name__ == '__main__':
    main(sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5]))
