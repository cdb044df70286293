"""Zoomify image properties, tiles and region images of the section images.

Section images are rendered from the generated reference volume (or, for an
expression mask, from the data set's energy grid) through the image list's
transforms, and encoded as grayscale JPEG with libjpeg's cjpeg.
"""

import math
import re
import subprocess

from . import datasets, volumes

TILE_SIZE = 256
MAX_REGION_SIDE = 2048

_EXPRESSION = re.compile(r"/?%s/(\d+)/(\d+)/(\d+)\Z" % datasets.EXPRESSION_PREFIX)


class ImageError(Exception):
    pass


def level_count(width, height, tile=TILE_SIZE):
    """Levels of the pyramid, counted the way the viewer counts them."""
    biggest = max(width, height)
    if biggest <= 0:
        return 1
    n = int(max(math.log2(max(width, 1) / tile), math.log2(max(height, 1) / tile)))
    if n < 0:
        return 1
    return n + 2 if int(biggest / 2 ** n) > 256 else n + 1


def tile_count(width, height, tile=TILE_SIZE):
    levels = level_count(width, height, tile)
    total = 0
    for level in range(levels):
        scale = 2 ** (levels - 1 - level)
        w, h = max(1, width // scale), max(1, height // scale)
        total += ((w + tile - 1) // tile) * ((h + tile - 1) // tile)
    return total


def properties_xml(image):
    w, h = image.full_width, image.full_height
    return ("<IMAGE_PROPERTIES WIDTH=\"%d\" HEIGHT=\"%d\" NUMTILES=\"%d\" NUMIMAGES=\"1\" "
            "VERSION=\"1.8\" TILESIZE=\"%d\" />" % (w, h, tile_count(w, h), TILE_SIZE)).encode("ascii")


def encode_jpeg(width, height, pixels):
    """Grayscale JPEG at quality 80 through cjpeg."""
    pgm = b"P5\n%d %d\n255\n" % (width, height) + bytes(pixels)
    try:
        done = subprocess.run(["cjpeg", "-quality", "80"], input=pgm, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=30, check=True)
    except (OSError, subprocess.SubprocessError) as error:
        raise ImageError("JPEG encoding failed: %s" % error)
    return done.stdout


def _invert2(m):
    a, b, c, d = m[0], m[1], m[2], m[3]
    det = a * d - b * c
    if abs(det) < 1e-12:
        return None
    return [d / det, -b / det, -c / det, a / det]


def _invert3(m):
    a = [m[0:3], m[3:6], m[6:9]]
    det = (a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1])
           - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0])
           + a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]))
    if abs(det) < 1e-12:
        return None
    inv = [[0.0] * 3 for _ in range(3)]
    for i in range(3):
        for j in range(3):
            r = [k for k in range(3) if k != j]
            c = [k for k in range(3) if k != i]
            minor = a[r[0]][c[0]] * a[r[1]][c[1]] - a[r[0]][c[1]] * a[r[1]][c[0]]
            inv[i][j] = (-1) ** (i + j) * minor / det
    return inv[0] + inv[1] + inv[2]


class Section:
    """Where an image's pixels fall in the reference space, in micrometres."""

    def __init__(self, space, image_list, image):
        self.space = space
        self.image = image
        self.plane = image_list.plane
        self._mapping = self._from_transforms(image_list, image) or self._fallback(image)

    def _from_transforms(self, image_list, image):
        tvs_inv = _invert2(image.tvs[:4])
        if tvs_inv is None:
            return None
        if any(image_list.tvr[:9]):
            m, t = image_list.tvr[:9], image_list.tvr[9:12]
        else:
            m = _invert3(image_list.trv[:9])
            if m is None:
                return None
            tr = image_list.trv[9:12]
            t = [-(m[3 * i] * tr[0] + m[3 * i + 1] * tr[1] + m[3 * i + 2] * tr[2]) for i in range(3)]

        def point(u, v):
            du, dv = u - image.tvs[4], v - image.tvs[5]
            p0 = tvs_inv[0] * du + tvs_inv[1] * dv
            p1 = tvs_inv[2] * du + tvs_inv[3] * dv
            s = float(image.z)
            return [m[3 * i] * p0 + m[3 * i + 1] * p1 + m[3 * i + 2] * s + t[i] for i in range(3)]
        return point

    def _fallback(self, image):
        extent = [self.space.atlas_dims[k] * self.space.atlas_res[k] for k in range(3)]
        # Without transforms: coronal sections cut x and show z across, sagittal
        # ones cut z and show x across; y runs down both, and the image spans the volume.
        ua, va, sa = (2, 1, 0) if self.plane == 0 else (0, 1, 2)
        su = extent[ua] / max(1, image.width)
        sv = extent[va] / max(1, image.height)

        def point(u, v):
            p = [0.0, 0.0, 0.0]
            p[ua], p[va], p[sa] = u * su, v * sv, float(image.z)
            return p
        return point

    def affine(self):
        o = self._mapping(0.0, 0.0)
        du = [a - b for a, b in zip(self._mapping(1.0, 0.0), o)]
        dv = [a - b for a, b in zip(self._mapping(0.0, 1.0), o)]
        return o, du, dv


class VolumeSampler:
    """Gray values of a volume at points in micrometres; 255 (paper) outside."""

    def __init__(self, values, dims, res, invert):
        self.values, self.dims, self.res, self.invert = values, dims, res, invert

    @classmethod
    def reference(cls, space):
        ref = space.reference()
        if ref is not None:
            if ref.typecode == "H":
                ref = bytes(v >> 8 for v in ref)
            return cls(ref, space.atlas_dims, space.atlas_res, True)
        shades = bytes((60 + (v * 37) % 150) if v else 0 for v in space.annotation())
        return cls(shades, space.view_dims, space.view_res, True)

    def sample_row(self, origin, step, count):
        dims, res = self.dims, self.res
        out = bytearray(count)
        for i in range(count):
            x = int((origin[0] + step[0] * i) / res[0])
            y = int((origin[1] + step[1] * i) / res[1])
            z = int((origin[2] + step[2] * i) / res[2])
            if 0 <= x < dims[0] and 0 <= y < dims[1] and 0 <= z < dims[2]:
                v = self.values[(z * dims[1] + y) * dims[0] + x]
                out[i] = 255 - v if self.invert else v
            else:
                out[i] = 255 if self.invert else 0
        return out


def render(section, sampler, x0, y0, width, height, scale):
    """Pixels of the parent image from (x0, y0) at `scale` parent pixels per output pixel."""
    image = section.image
    o, du, dv = section.affine()
    blank = 255 if sampler.invert else 0
    out = bytearray()
    for j in range(height):
        v = y0 + (j + 0.5) * scale - image.top
        if v < 0 or v >= image.height:
            out += bytes([blank]) * width
            continue
        # Columns inside the image, the rest blank.
        first = max(0, int(math.ceil((image.left - x0) / scale - 0.5)))
        last = min(width, int(math.ceil((image.left + image.width - x0) / scale - 0.5)))
        row = bytearray([blank]) * width
        if last > first:
            u = x0 + (first + 0.5) * scale - image.left
            origin = [o[k] + du[k] * u + dv[k] * v for k in range(3)]
            step = [du[k] * scale for k in range(3)]
            row[first:last] = sampler.sample_row(origin, step, last - first)
        out += row
    return out


class ImageIndex:
    """Every section image of the atlases by its server path."""

    def __init__(self, atlases, catalogues):
        self.catalogues = catalogues
        self.by_path = {}
        self.atlases = {a.id: a for a in atlases}
        for atlas in atlases:
            for space in atlas.spaces:
                for image_list in space.image_lists().values():
                    for image in image_list.images:
                        self.by_path.setdefault(image.path.lstrip("/"), (space, image_list, image))
        self._samplers = volumes.Cache(16)

    def lookup(self, path):
        """(section, sampler factory key, image) for an image path or an expression path."""
        found = self.by_path.get(path.lstrip("/"))
        if found is not None:
            space, image_list, image = found
            return Section(space, image_list, image), ("ref", id(space)), lambda: VolumeSampler.reference(space)
        match = _EXPRESSION.match(path)
        if match is None:
            raise ImageError("No image at " + path)
        atlas_id, sid, image_id = (int(g) for g in match.groups())
        catalogue = self.catalogues.get(atlas_id)
        if catalogue is None:
            raise ImageError("No atlas " + str(atlas_id))
        series = catalogue.series.get(sid)
        experiment = catalogue.projections.get(sid)
        data_set = series or experiment
        if data_set is None:
            raise ImageError("No data set %d" % sid)
        space = data_set.space
        plane = series.plane if series is not None else 0
        image_list = space.image_lists().get(plane)
        image = next((im for im in image_list.images if im.id == image_id), None) if image_list else None
        if image is None:
            raise ImageError("No image %d in data set %d" % (image_id, sid))

        def sampler():
            if series is not None:
                grid = volumes.expression_grids(series)[2]
            else:
                grid = bytes(min(255, v >> 8) for v in memoryview(
                    volumes.projection_volumes(experiment, datasets.projection_targets(
                        experiment, catalogue.structures)).density).cast("H"))
            return VolumeSampler(grid, space.view_dims, space.view_res, False)
        return Section(space, image_list, image), ("expr", sid), sampler

    def properties(self, path):
        section, _, _ = self.lookup(path)
        return properties_xml(section.image)

    def tile(self, path, level, col, row):
        section, key, factory = self.lookup(path)
        image = section.image
        w, h = image.full_width, image.full_height
        levels = level_count(w, h)
        if not 0 <= level < levels:
            raise ImageError("No level %d" % level)
        scale = 2 ** (levels - 1 - level)
        lw, lh = max(1, w // scale), max(1, h // scale)
        if not (0 <= col and col * TILE_SIZE < lw and 0 <= row and row * TILE_SIZE < lh):
            raise ImageError("No tile %d-%d-%d" % (level, col, row))
        tw, th = min(TILE_SIZE, lw - col * TILE_SIZE), min(TILE_SIZE, lh - row * TILE_SIZE)
        pixels = render(section, self._samplers.get(key, factory), col * TILE_SIZE * scale,
                        row * TILE_SIZE * scale, tw, th, scale)
        return encode_jpeg(tw, th, pixels)

    def region(self, path, zoom, top, left, width, height):
        section, key, factory = self.lookup(path)
        image = section.image
        levels = level_count(image.full_width, image.full_height)
        zoom = min(max(zoom, 0), levels - 1)
        if not (0 < width <= MAX_REGION_SIDE and 0 < height <= MAX_REGION_SIDE):
            raise ImageError("Region size out of range")
        scale = 2 ** (levels - 1 - zoom)
        pixels = render(section, self._samplers.get(key, factory), left, top, width, height, scale)
        return encode_jpeg(width, height, pixels)
