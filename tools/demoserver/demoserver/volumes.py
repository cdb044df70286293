"""Synthetic voxel grids on a space's view grid: expression, projection and correlation.

All grids run x fastest, then y, then z, and depend only on the ids and the
generated annotation, so that a gene's data set lights up its target structure.
"""

import collections
import math
import random
import struct
import threading
from array import array


def _subtree_values(ontology, label):
    return {l.value for l in ontology.subtree(label)} if label is not None else set()


def structure_centroid(space, label):
    """Centroid in view voxels of a structure and its descendants, or the grid centre."""
    values = _subtree_values(space.atlas.ontology(), label)
    sums = _value_sums(space)
    total = [0.0, 0.0, 0.0, 0]
    for value in values:
        if value in sums:
            total = [a + b for a, b in zip(total, sums[value])]
    if total[3] == 0:
        return [(d - 1) * 0.5 for d in space.view_dims]
    return [total[k] / total[3] for k in range(3)]


def _value_sums(space):
    """Per annotation value: the sums of x, y and z of its view voxels and their count."""
    def make():
        dx, dy, _ = space.view_dims
        sums = {}
        for i, value in enumerate(space.annotation()):
            if value:
                entry = sums.setdefault(value, [0.0, 0.0, 0.0, 0])
                entry[0] += i % dx
                entry[1] += (i // dx) % dy
                entry[2] += i // (dx * dy)
                entry[3] += 1
        return sums
    return _sum_cache.get(space, make)


class Cache:
    """A small least-recently-used store of computed values, shared by the request threads."""

    def __init__(self, size):
        self.size = size
        self.items = collections.OrderedDict()
        self.lock = threading.Lock()

    def get(self, key, make):
        with self.lock:
            if key in self.items:
                self.items.move_to_end(key)
                return self.items[key]
        value = make()
        with self.lock:
            self.items[key] = value
            while len(self.items) > self.size:
                self.items.popitem(last=False)
        return value


# Keys are the catalogue objects themselves: held by the store, they cannot be
# mistaken for objects of another server over other atlases.
_expression_cache = Cache(8)
_projection_cache = Cache(4)
_slot_cache = Cache(16)
_sum_cache = Cache(16)


def _space_slots(space):
    """(values, slot per voxel, texture per voxel, spread per voxel) of a space's view grid.

    Each voxel's annotation value becomes a one-byte slot so that a data set's
    grids are made with bytes.translate instead of a loop over the voxels.
    More than 256 distinct values share slots. Texture and spread are two
    independent noises of 0 ... NOISE_LEVELS - 1: the texture dims the
    intensity, the spread scatters the density.
    """
    def make():
        annotation = space.annotation()
        values = sorted(set(annotation))
        index = {v: i % 256 for i, v in enumerate(values)}
        slots = bytes(index[v] for v in annotation)
        rng = random.Random(space.atlas.id * 1000 + space.index)
        levels = bytes(b * NOISE_LEVELS // 256 for b in range(256))
        texture = rng.randbytes(len(annotation)).translate(levels)
        spread = rng.randbytes(len(annotation)).translate(levels)
        return values, slots, texture, spread
    return _slot_cache.get(space, make)


NOISE_LEVELS = 41
# Where a gene is expressed, a voxel's density (the fraction of its cells that express) is its class's
# density times a factor of the voxel's spread, from DENSITY_SPREAD[0] to DENSITY_SPREAD[1] and more often
# low than high (the square of the spread's fraction). As in real in-situ data most voxels stay below 0.1
# and few reach past it. Class 0: not expressed.
DENSITY_CLASSES = (0.0, 0.012, 0.022, 0.035, 0.05, 0.07)
DENSITY_SPREAD = (0.2, 2.0)
# Target classes: sparse and scattered, regional at medium coverage, regional at high coverage.
SCATTERED, REGIONAL, DENSE = 3, 4, 5
BACKGROUND_CLASSES = (1, 2)
HIGH_LEVEL = 215


def voxel_density(density_class, spread):
    """The density of a voxel of a class (1 ... 5) with a spread of 0 ... NOISE_LEVELS - 1."""
    low, high = DENSITY_SPREAD
    fraction = spread / (NOISE_LEVELS - 1)
    return DENSITY_CLASSES[density_class] * (low + (high - low) * fraction * fraction)


def _density_bytes():
    """Low and high bytes of the 16-bit density (value / 65536) of each key class * 41 + spread."""
    low, high = bytearray(256), bytearray(256)
    for c in range(1, len(DENSITY_CLASSES)):
        for s in range(NOISE_LEVELS):
            d = min(65535, max(1, int(voxel_density(c, s) * 65536)))
            key = c * NOISE_LEVELS + s
            low[key], high[key] = d & 0xFF, d >> 8
    return bytes(low), bytes(high)


_DENSITY_LOW, _DENSITY_HIGH = _density_bytes()


def target_expression(series):
    """(intensity, density class) of a series inside its gene's target structure, and the generator
    that goes on to draw its background."""
    rng = random.Random(series.id)
    return rng.randint(170, 250), rng.choice((SCATTERED, REGIONAL, DENSE)), rng


def expression_grids(series):
    """(intensity, density, energy) of a gene's series: bytes of N, 2N and N."""
    return _expression_cache.get(series, lambda: _expression_grids(series))


def _expression_grids(series):
    space = series.space
    values, slots, texture_noise, spread = _space_slots(space)
    target = _subtree_values(space.atlas.ontology(), series.gene.target)
    base_intensity, base_class, rng = target_expression(series)
    level, mask, classes = bytearray(256), bytearray(256), bytearray(256)
    for i, value in enumerate(values):
        slot = i % 256
        if value in target:
            intensity, density_class = base_intensity, base_class
        elif value and rng.random() < 0.15:
            # A faint, structured background in a few other structures.
            intensity, density_class = 70, rng.choice(BACKGROUND_CLASSES)
        else:
            continue
        level[slot], mask[slot] = intensity, 0xFF
        classes[slot] = density_class * NOISE_LEVELS
    n = len(slots)
    # Per-voxel texture: subtract up to 40 where expressed; the levels are at
    # least 70 there, so no byte borrows from its neighbour.
    texture = int.from_bytes(texture_noise, "little") & int.from_bytes(slots.translate(mask), "little")
    intensity = (int.from_bytes(slots.translate(level), "little") - texture).to_bytes(n, "little")
    # Each byte of class * 41 + spread stays below 256, so no byte carries into its neighbour; keys
    # below 41 (class 0) have density 0.
    keys = (int.from_bytes(slots.translate(classes), "little") + int.from_bytes(spread, "little")).to_bytes(
        n, "little")
    density = bytearray(2 * n)
    density[0::2] = keys.translate(_DENSITY_LOW)
    density[1::2] = keys.translate(_DENSITY_HIGH)
    return intensity, bytes(density), intensity


def _le16(values):
    out = array("H", values)
    if struct.pack("=H", 1) != b"\x01\x00":
        out.byteswap()
    return out.tobytes()


def _le32f(values):
    out = array("f", values)
    if struct.pack("=H", 1) != b"\x01\x00":
        out.byteswap()
    return out.tobytes()


def resample_nearest(values, dims, target_dims):
    """Nearest-neighbour resampling of a flat grid to other dimensions."""
    if list(dims) == list(target_dims):
        return values
    maps = [[min(int((i + 0.5) * dims[k] / target_dims[k]), dims[k] - 1)
             for i in range(target_dims[k])] for k in range(3)]
    out = []
    for z in maps[2]:
        for y in maps[1]:
            row = (z * dims[1] + y) * dims[0]
            out.extend(values[row + x] for x in maps[0])
    return out


def raw_float_grid(series, dims=None):
    """A bare float grid whose logarithm exceeds 6 where the gene is expressed."""
    _, _, energy = expression_grids(series)
    values = [math.exp(4.0 + 4.0 * e / 255.0) if e else 1.0 for e in energy]
    if dims is not None:
        values = resample_nearest(values, series.space.view_dims, dims)
    return _le32f(values)


def raw_byte_grid(series, dims=None):
    _, _, energy = expression_grids(series)
    if dims is not None:
        return bytes(resample_nearest(list(energy), series.space.view_dims, dims))
    return energy


def _gaussian_into(out, dims, centre, sigma, weight):
    radius = 3.0 * sigma
    lo = [max(0, int(math.floor(centre[k] - radius))) for k in range(3)]
    hi = [min(dims[k] - 1, int(math.ceil(centre[k] + radius))) for k in range(3)]
    inv = 1.0 / (2.0 * sigma * sigma)
    for z in range(lo[2], hi[2] + 1):
        dz = (z - centre[2]) ** 2
        for y in range(lo[1], hi[1] + 1):
            dyz = dz + (y - centre[1]) ** 2
            row = (z * dims[1] + y) * dims[0]
            for x in range(lo[0], hi[0] + 1):
                out[row + x] += weight * math.exp(-(dyz + (x - centre[0]) ** 2) * inv)


class ProjectionVolumes:
    """Injection mask, density, intensity and stream lines of one projection experiment."""

    def __init__(self, experiment, targets):
        space = experiment.space
        dims = space.view_dims
        self.dims = dims
        self.spacing = space.view_res
        n = space.voxel_count
        ontology = space.atlas.ontology()
        rng = random.Random(experiment.id)
        self.injection = structure_centroid(space, experiment.structure)
        sigma = max(1.0, min(dims) * 0.08)
        injected = _subtree_values(ontology, experiment.structure)
        mask = [0.0] * n
        annotation = space.annotation()
        radius = 2.0 * sigma
        c = self.injection
        lo = [max(0, int(math.floor(c[k] - radius))) for k in range(3)]
        hi = [min(dims[k] - 1, int(math.ceil(c[k] + radius))) for k in range(3)]
        for z in range(lo[2], hi[2] + 1):
            for y in range(lo[1], hi[1] + 1):
                row = (z * dims[1] + y) * dims[0]
                for x in range(lo[0], hi[0] + 1):
                    d2 = (x - c[0]) ** 2 + (y - c[1]) ** 2 + (z - c[2]) ** 2
                    if d2 <= radius * radius and (not injected or annotation[row + x] in injected):
                        mask[row + x] = 1.0
        if not any(mask):
            centre = [int(round(c)) for c in self.injection]
            mask[(centre[2] * dims[1] + centre[1]) * dims[0] + centre[0]] = 1.0
        field = [0.0] * n
        _gaussian_into(field, dims, self.injection, sigma, 0.9)
        self.targets = [structure_centroid(space, t) for t in targets]
        for t in self.targets:
            _gaussian_into(field, dims, t, sigma * 0.8, rng.uniform(0.3, 0.7))
        self.mask = _le32f(mask)
        self.density = _le16([min(65535, int(min(1.0, v) * 65535)) for v in field])
        self.intensity = _le32f([min(1.0, v) * 1000.0 for v in field])
        self.lines = []
        for t in self.targets:
            for k in range(3):
                self.lines.append(self._line(self.injection, t, rng, k))

    @staticmethod
    def _line(start, end, rng, k):
        length = math.sqrt(sum((e - s) ** 2 for s, e in zip(start, end)))
        steps = max(2, int(length / 0.5) + 1)
        bend = [rng.uniform(-1.5, 1.5) for _ in range(3)]
        points = []
        for i in range(steps):
            t = i / (steps - 1)
            lift = math.sin(math.pi * t) * (0.5 + k * 0.5)
            pos = [s + (e - s) * t + b * lift for s, e, b in zip(start, end, bend)]
            points.append((pos[0], pos[1], pos[2], 0.8 - 0.6 * t, 1000.0 * (1.0 - 0.8 * t)))
        return points


def projection_volumes(experiment, targets):
    return _projection_cache.get(experiment, lambda: ProjectionVolumes(experiment, targets))


def streamlines_bytes(lines):
    """The "streamlines.sl" format: magic, version 2, line count, then the lines."""
    out = [struct.pack("<IHI", 0xEEEE0120, 2, len(lines))]
    for line in lines:
        out.append(struct.pack("<H", len(line)))
        for point in line:
            out.append(struct.pack("<5f", *point))
    return b"".join(out)


def metaimage_header(dims, spacing, element_type, data_file):
    return ("ObjectType = Image\nNDims = 3\nBinaryData = True\nBinaryDataByteOrderMSB = False\n"
            "DimSize = %d %d %d\nElementSpacing = %g %g %g\nElementType = %s\n"
            "ElementDataFile = %s\n" % (tuple(dims) + tuple(spacing) + (element_type, data_file))
            ).encode("ascii")


def correlation_grid(probe_space, seed_um, view_space, grid_dims=None):
    """Float correlations on the view grid with the voxel at `seed_um` (micrometres)."""
    seed_voxel = [seed_um[k] / probe_space.view_res[k] for k in range(3)]
    pdims = probe_space.view_dims
    ix = [min(max(int(seed_voxel[k]), 0), pdims[k] - 1) for k in range(3)]
    seed_value = probe_space.annotation()[(ix[2] * pdims[1] + ix[1]) * pdims[0] + ix[0]]
    dims = list(grid_dims or view_space.view_dims)
    # The seed in the view grid, by its fraction of the probe grid.
    centre = [seed_voxel[k] / pdims[k] * dims[k] for k in range(3)]
    annotation = view_space.annotation()
    if list(view_space.view_dims) != dims:
        annotation = resample_nearest(annotation, view_space.view_dims, dims)
    rng = random.Random(int(seed_um[0]) * 73856093 ^ int(seed_um[1]) * 19349663 ^ int(seed_um[2]) * 83492791)
    levels = {}
    values = []
    for value in annotation:
        if not value:
            values.append(0.0)
            continue
        if value not in levels:
            levels[value] = 0.6 if value == seed_value else rng.uniform(-0.3, 0.35)
        values.append(levels[value])
    _gaussian_into(values, dims, centre, max(1.0, min(dims) * 0.1), 0.4)
    return _le32f([min(1.0, v) for v in values]), dims
