#!/usr/bin/env python3
"""Resamples a volume through the three .meta files with numpy and scipy and compares with a result.

    resample_reference.py PERMUTE AFFINE BSPLINE INPUT OUTPUT SIZES

INPUT and OUTPUT are raw little-endian float32 grids, x fastest. SIZES holds nine numbers: the input
size, the output size and (default value, input spacing, output spacing) as "nx ny nz mx my mz d si so".
Exits 0 when every output voxel is within 1e-4 of the input's value range of the reference, 1 otherwise.
Voxels whose input coordinate lies within 1e-6 of the input's first or last voxel are left out: there the
two sides may round to opposite sides of the edge.
"""

import sys

import numpy
from scipy.ndimage import map_coordinates


def read_meta(path, kind):
    values, transform = {}, None
    with open(path) as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            key, rest = (p.strip() for p in line.split("=", 1))
            if key == "Transform":
                transform = rest
            else:
                values[key] = numpy.array([float(v) for v in rest.split()])
    assert transform == kind, (path, transform)
    return values


def bspline_weights(t):
    s = 1.0 - t
    return [s ** 3 / 6.0, (3 * t ** 3 - 6 * t ** 2 + 4) / 6.0, (-3 * t ** 3 + 3 * t ** 2 + 3 * t + 1) / 6.0,
            t ** 3 / 6.0]


def displacement(points, spline):
    size = spline["Size"].astype(int)
    count = int(numpy.prod(size))
    if count == 0:
        return numpy.zeros_like(points)
    coefficients = spline["Coefficients"].reshape(3, size[2], size[1], size[0])
    u = (points - spline["Origin"]) / spline["Spacing"]
    base = numpy.floor(u)
    far = numpy.any((base < -4) | (base > size + 4), axis=1)
    first = base.astype(numpy.int64) - 1
    weights = [bspline_weights(u[:, a] - base[:, a]) for a in range(3)]
    d = numpy.zeros_like(points)
    for k in range(4):
        z = first[:, 2] + k
        for j in range(4):
            y = first[:, 1] + j
            for i in range(4):
                x = first[:, 0] + i
                ok = (x >= 0) & (x < size[0]) & (y >= 0) & (y < size[1]) & (z >= 0) & (z < size[2]) & ~far
                w = weights[0][i] * weights[1][j] * weights[2][k]
                for a in range(3):
                    c = numpy.zeros(len(points))
                    c[ok] = coefficients[a, z[ok], y[ok], x[ok]]
                    d[:, a] += w * c
    return d


def main(argv):
    permute = read_meta(argv[1], "PermuteAndFlip")
    affine = read_meta(argv[2], "Affine")
    spline = read_meta(argv[3], "BSpline")
    sizes = [float(v) for v in open(argv[6]).read().split()]
    nx, ny, nz, mx, my, mz = (int(v) for v in sizes[:6])
    default = numpy.float32(sizes[6])
    si, so = float(numpy.float32(sizes[7])), float(numpy.float32(sizes[8]))
    volume = numpy.fromfile(argv[4], dtype="<f4").reshape(nz, ny, nx)
    result = numpy.fromfile(argv[5], dtype="<f4")

    zz, yy, xx = numpy.meshgrid(numpy.arange(mz), numpy.arange(my), numpy.arange(mx), indexing="ij")
    p = numpy.stack([xx.ravel() * so, yy.ravel() * so, zz.ravel() * so], axis=1).astype(float)
    permutation = permute["Permutation"].astype(int)
    q = p[:, permutation]
    for k in range(3):
        if permute["Flip"][k]:
            q[:, k] = permute["Extent"][k] - q[:, k]
    m = affine["Matrix"].reshape(3, 3)
    q = numpy.stack([m[r, 0] * q[:, 0] + m[r, 1] * q[:, 1] + m[r, 2] * q[:, 2] + affine["Translation"][r]
                     for r in range(3)], axis=1)
    q = q + displacement(q, spline)
    c = q / si
    reference = map_coordinates(volume.astype(float), [c[:, 2], c[:, 1], c[:, 0]], order=1, mode="constant",
                                cval=float(default))
    last = numpy.array([nx - 1, ny - 1, nz - 1], dtype=float)
    edge = numpy.any((numpy.abs(c) < 1e-6) | (numpy.abs(c - last) < 1e-6), axis=1)
    tolerance = 1e-4 * max(1.0, float(volume.max() - volume.min()))
    difference = numpy.abs(reference - result)[~edge]
    inside = int(numpy.count_nonzero((c >= 0).all(axis=1) & (c <= last).all(axis=1)))
    print("largest difference %g over %d voxels (%d inside the input), tolerance %g"
          % (difference.max(initial=0.0), len(difference), inside, tolerance))
    return 0 if len(result) == mx * my * mz and difference.max(initial=0.0) <= tolerance else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
