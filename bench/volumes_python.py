"""Python's side of the volume loading benchmark.

Usage: volumes_python.py ROUNDS ANNOTATION ATLAS NIFTI
Prints "fromfile SECONDS" for numpy.fromfile of the annotation (uint16) and the Nissl volume (uint8)
together, and "nibabel SECONDS" for nibabel reading the voxels of the gzip-compressed NIfTI file;
medians of ROUNDS after one untimed round.
"""
import statistics
import sys
import time

import nibabel
import numpy as np


def median_seconds(rounds, work):
    work()
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        work()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main(rounds, annotation, atlas, nifti):
    def from_file():
        return np.fromfile(annotation, dtype='<u2'), np.fromfile(atlas, dtype=np.uint8)

    def nibabel_voxels():
        return np.asanyarray(nibabel.load(nifti).dataobj)

    print('fromfile', median_seconds(rounds, from_file), flush=True)
    print('nibabel', median_seconds(rounds, nibabel_voxels), flush=True)


if __name__ == '__main__':
    main(int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4])
