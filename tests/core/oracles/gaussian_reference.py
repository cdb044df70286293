"""Reference for the separable integer Gaussian filter, written with scipy.

Usage: gaussian_reference.py FOLDER
FOLDER/cases.txt holds one case a line: name size_x size_y size_z scale. For each case the volume
FOLDER/name.raw (uint8, x fastest) is filtered into FOLDER/name.ref.
"""
import os
import sys

import numpy as np
from scipy import ndimage

KERNELS = {
    1: ([1, 2, 1], 2),
    2: ([1, 4, 6, 4, 1], 4),
    4: ([1, 3, 8, 16, 23, 26, 23, 16, 8, 3, 1], 7),
    8: ([1, 2, 5, 8, 14, 21, 27, 32, 36, 32, 27, 21, 14, 8, 5, 2, 1], 8),
    16: ([1, 1, 2, 4, 7, 11, 17, 23, 31, 39, 45, 49, 51, 49, 45, 39, 31, 23, 17, 11, 7, 4, 2, 1], 9),
}


def smooth(volume, scale):
    taps, shift = KERNELS[scale]
    a = volume.astype(np.int64)
    # x, y, z in turn: numpy axes 2, 1, 0. Correlation, not convolution: the 24-tap kernel is
    # asymmetric and covers offsets -12 .. +11.
    for axis in (2, 1, 0):
        a = ndimage.correlate1d(a, np.array(taps, dtype=np.int64), axis=axis, mode='constant', cval=0,
                                origin=0) >> shift
    return a.astype(np.uint8)


def main(folder):
    with open(os.path.join(folder, 'cases.txt')) as cases:
        for line in cases:
            name, x, y, z, scale = line.split()
            x, y, z, scale = int(x), int(y), int(z), int(scale)
            volume = np.fromfile(os.path.join(folder, name + '.raw'), dtype=np.uint8).reshape(z, y, x)
            smooth(volume, scale).tofile(os.path.join(folder, name + '.ref'))


if __name__ == '__main__':
    main(sys.argv[1])
