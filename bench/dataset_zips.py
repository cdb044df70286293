"""Writes the demo server's gene and projection zips of one atlas and times Python doing the same cells.

    dataset_zips.py ATLASES_DIR ATLAS_ID OUT_DIR SOURCE_DIR REPEATS

Writes OUT_DIR/gene.zip and OUT_DIR/projection.zip and prints, per zip, the best time over REPEATS of
zipfile + numpy turning the zip's bytes into the cells (positions, values) the viewer makes of them.
"""

import io
import os
import sys
import time
import zipfile

import numpy as np

atlases, atlas_id, out, source, repeats = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], int(sys.argv[5])
sys.path.insert(0, os.path.join(source, "tools", "demoserver"))
from demoserver import datasets  # noqa: E402
from demoserver.server import DemoData  # noqa: E402

BASE = "http://127.0.0.1:8470"


def cells(shape, keep):
    z, y, x = np.nonzero(keep.reshape(shape))
    return np.column_stack([x, y, z]).astype(np.float32)


def gene_cells(body, shape):
    with zipfile.ZipFile(io.BytesIO(body)) as archive:
        archive.read("data_set.xml" if "data_set.xml" in archive.namelist() else "image_series.xml")
        density = np.frombuffer(archive.read("density.raw"), dtype="<u2")
        intensity = np.frombuffer(archive.read("intensity.raw"), dtype=np.uint8)
    keep = (intensity > 0) & (density > 0)
    positions = cells(shape, keep)
    values = intensity[keep].astype(np.float32)
    d = density[keep].astype(np.float32) / 65536 * 1000
    return len(positions) + 0 * len(values) + 0 * len(d)


def projection_cells(body):
    with zipfile.ZipFile(io.BytesIO(body)) as archive:
        archive.read("image_series.xml")
        lines = archive.read("streamlines.sl")
        header = dict(l.split(" = ", 1) for l in archive.read("density.mhd").decode().splitlines())
        shape = tuple(int(v) for v in header["DimSize"].split())[::-1]
        mask = np.frombuffer(archive.read("injection_mask.raw"), dtype="<f4")
        density = np.frombuffer(archive.read("density.raw"), dtype="<u2")
        intensity = np.frombuffer(archive.read("intensity.raw"), dtype="<f4")
    fraction = density.astype(np.float32) / 65536
    keep = (fraction > 0.1) & (intensity != 0)
    injected = mask > 0.1
    count, offset, leading = int.from_bytes(lines[6:10], "little"), 10, 0
    for _ in range(count):
        n = int.from_bytes(lines[offset:offset + 2], "little")
        leading += n > 0
        offset += 2 + 20 * n
    return leading + len(cells(shape, keep)) + len(cells(shape, injected))


def best(function):
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        count = function()
        times.append(time.perf_counter() - start)
    return min(times), count


data = DemoData([atlases])
atlas = data.by_id[atlas_id]
catalogue = data.catalogue(atlas)
series = catalogue.series[min(catalogue.series)]
gene = datasets.gene_zip(series, False, BASE)
experiment = catalogue.projections[min(catalogue.projections)]
projection = datasets.projection_zip(experiment, catalogue.structures, False, BASE)
os.makedirs(out, exist_ok=True)
for name, body in (("gene.zip", gene), ("projection.zip", projection)):
    with open(os.path.join(out, name), "wb") as stream:
        stream.write(body)
shape = tuple(series.space.view_dims)[::-1]
seconds, count = best(lambda: gene_cells(gene, shape))
print("python gene %.6f %d" % (seconds, count))
seconds, count = best(lambda: projection_cells(projection))
print("python projection %.6f %d" % (seconds, count))
