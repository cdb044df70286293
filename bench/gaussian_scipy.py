"""scipy's side of the Gaussian filter benchmark.

Usage: gaussian_scipy.py VOLUME SIZE_X SIZE_Y SIZE_Z REPEATS
Times, for every scale, the exact integer pipeline (correlate1d on int64 along x, y, z, each pass
followed by its shift) and scipy.ndimage.gaussian_filter on float64 with the kernel's own sigma. Prints
"scale pipeline_seconds gaussian_filter_seconds" lines (best of REPEATS) and writes the pipeline's
result to VOLUME.scaleN for the caller to compare.
"""
import sys
import time

import numpy as np
from scipy import ndimage

KERNELS = {
    1: ([1, 2, 1], 2),
    2: ([1, 4, 6, 4, 1], 4),
    4: ([1, 3, 8, 16, 23, 26, 23, 16, 8, 3, 1], 7),
    8: ([1, 2, 5, 8, 14, 21, 27, 32, 36, 32, 27, 21, 14, 8, 5, 2, 1], 8),
    16: ([1, 1, 2, 4, 7, 11, 17, 23, 31, 39, 45, 49, 51, 49, 45, 39, 31, 23, 17, 11, 7, 4, 2, 1], 9),
}


def pipeline(volume, taps, shift):
    a = volume.astype(np.int64)
    for axis in (2, 1, 0):
        a = ndimage.correlate1d(a, taps, axis=axis, mode='constant', cval=0, origin=0) >> shift
    return a.astype(np.uint8)


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
    for scale, (taps, shift) in KERNELS.items():
        taps = np.array(taps, dtype=np.int64)
        exact_time, exact = best(repeats, lambda: pipeline(volume, taps, shift))
        exact.tofile('%s.scale%d' % (path, scale))
        s = sigma(taps)
        float_time, _ = best(repeats, lambda: ndimage.gaussian_filter(volume.astype(np.float64), s, mode='constant'))
        print(scale, exact_time, float_time, flush=True)


if __name__ == '__main__':
    main(sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5]))
