"""numpy's side of the volume rendering benchmark: the maximum intensity projection of the same rays.

Usage: volume_mip_numpy.py VOLUME SIZE_X SIZE_Y SIZE_Z WIDTH HEIGHT ROUNDS
The rays run along the volume's z axis (the renderer's view with no rotation); every window pixel takes
the column under it (nearest) and keeps the largest of its samples, and the maxima go through a
256-entry RGBA table. Prints the median
milliseconds of ROUNDS.
"""
import statistics
import sys
import time

import numpy as np


def main():
    path = sys.argv[1]
    sx, sy, sz, width, height, rounds = (int(a) for a in sys.argv[2:8])
    volume = np.fromfile(path, dtype=np.uint8).reshape(sz, sy, sx)
    table = np.random.default_rng(1).integers(0, 256, size=(256, 4), dtype=np.uint8)
    columns = (np.arange(width) * sx // width).astype(np.intp)
    rows = (np.arange(height) * sy // height).astype(np.intp)
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        image = table[volume[:, rows[:, None], columns[None, :]].max(axis=0)]
        times.append((time.perf_counter() - start) * 1000.0)
    assert image.shape == (height, width, 4)
    print('%.3f' % statistics.median(times))


if __name__ == '__main__':
    main()
