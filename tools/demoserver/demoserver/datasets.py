"""Data-set downloads: metadata XML and zip archives of gene and projection data."""

import io
import random
import zipfile
from xml.sax.saxutils import escape

from . import volumes

EXPRESSION_PREFIX = "demo-expression"


def _zip(entries):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in entries:
            info = zipfile.ZipInfo(name, date_time=(2020, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data)
    return buffer.getvalue()


def _matrix(values):
    return ",".join("%g" % v for v in values)


def _element(name, value):
    return "<%s>%s</%s>" % (name, escape(str(value)), name)


def expression_path(atlas_id, sid, image_id):
    return "%s/%d/%d/%d" % (EXPRESSION_PREFIX, atlas_id, sid, image_id)


def _series_images(space, plane):
    lists = space.image_lists()
    return lists.get(plane)


def image_series_xml(series, base_url):
    """Metadata of a gene series in the image-series dialect."""
    gene, space = series.gene, series.space
    images = _series_images(space, series.plane)
    parts = ["<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "<image-series>",
             _element("id", series.id), _element("atlas-id", space.atlas.id),
             _element("age", space.name), _element("reference-space", space.name),
             _element("project-code", series.project), _element("plane-of-section", series.plane_name),
             _element("strain", "C57BL/6J"), _element("sex", "Male"),
             _element("correlation-search-available", "true"),
             _element("experiment-info-url", "%s/demo/experiment/%d" % (base_url, series.id)),
             "<gene>", _element("name", gene.name), _element("gene-symbol", gene.symbol),
             _element("entrez-id", gene.entrez_id), "</gene>"]
    parts += _images_xml(images, space.atlas.id, series.id)
    parts.append("</image-series>")
    return "\n".join(parts).encode("utf-8")


def _images_xml(images, atlas_id, sid):
    if images is None:
        return []
    parts = [_element("trv", _matrix(images.trv)), _element("tvr", _matrix(images.tvr)), "<images>"]
    for image in images.images:
        parts += ["<image>", _element("id", image.id), _element("section-index", image.section),
                  _element("imagepath", image.path),
                  _element("expression-imagepath", expression_path(atlas_id, sid, image.id)),
                  _element("width", image.width), _element("height", image.height),
                  _element("left", image.left), _element("top", image.top),
                  _element("parentimagewidth", image.parent_width),
                  _element("parentimageheight", image.parent_height),
                  _element("z-value", image.z), _element("tsv", _matrix(image.tsv)),
                  _element("tvs", _matrix(image.tvs)), "</image>"]
    parts.append("</images>")
    return parts


def _section_number_transforms(images):
    """The image list's (trv, tvr) with the section axis in units of 25 per section number.

    A reader of this dialect places section k at 25 k instead of at the image's z-value,
    so the transforms must measure the cutting axis the same way, or no expressor would
    find its section image.
    """
    ordered = images.images
    a, b = 1.0, 0.0
    if ordered:
        first, last = ordered[0], ordered[-1]
        if last.z != first.z and last.section != first.section:
            a = 25.0 * (last.section - first.section) / (last.z - first.z)
        b = 25.0 * first.section - a * first.z
    trv = list(images.trv)
    for k in (6, 7, 8):
        trv[k] *= a
    trv[11] = trv[11] * a + b
    tvr = list(images.tvr)
    for row in range(3):
        column = tvr[3 * row + 2]
        tvr[3 * row + 2] = column / a
        tvr[9 + row] -= column * b / a
    return trv, tvr


def data_set_xml(series):
    """Metadata of a gene series in the section-data-set dialect."""
    gene, space = series.gene, series.space
    images = _series_images(space, series.plane)
    parts = ["<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "<section-data-set>",
             _element("id", series.id), _element("age", space.name),
             _element("reference-space", space.name), _element("plane-of-section", series.plane_name),
             "<product>", _element("id", series.project), "</product>",
             "<genes><gene>", _element("name", gene.name), _element("acronym", gene.symbol),
             _element("entrez-id", gene.entrez_id), "</gene></genes>"]
    if images is not None:
        trv, tvr = _section_number_transforms(images)
        parts += ["<alignment3d>", _element("trv", _matrix(trv)),
                  _element("tvr", _matrix(tvr)), "</alignment3d>", "<section-images>"]
        for image in images.images:
            parts += ["<section-image>", _element("id", image.id), _element("path", image.path),
                      _element("expression-path", expression_path(space.atlas.id, series.id, image.id)),
                      _element("failed", "false"), _element("section-number", image.section),
                      _element("width", image.width), _element("height", image.height),
                      _element("x", image.left), _element("y", image.top),
                      _element("image-width", image.parent_width),
                      _element("image-height", image.parent_height),
                      "<alignment2d>", _element("tsv", _matrix(image.tsv)),
                      _element("tvs", _matrix(image.tvs)), "</alignment2d>", "</section-image>"]
        parts.append("</section-images>")
    parts.append("</section-data-set>")
    return "\n".join(parts).encode("utf-8")


def uses_data_set_dialect(series):
    """The section-data-set dialect always means space "P56" of the "0310" atlas."""
    return series.project == "0310" and series.space.name == "P56"


def gene_zip(series, light, base_url):
    intensity, density, energy = volumes.expression_grids(series)
    if light:
        return _zip([("energy.raw", energy)])
    if uses_data_set_dialect(series):
        meta = ("data_set.xml", data_set_xml(series))
    else:
        meta = ("image_series.xml", image_series_xml(series, base_url))
    return _zip([meta, ("density.raw", density), ("intensity.raw", intensity)])


def projection_targets(experiment, structures):
    rng = random.Random(experiment.id * 3 + 1)
    others = [s for s in structures if s is not experiment.structure]
    return rng.sample(others, min(3, len(others)))


def projection_xml(experiment, base_url):
    label = experiment.structure
    name = label.name if label is not None else "injection"
    abbreviation = label.abbreviation if label is not None else "INJ"
    space = experiment.space
    parts = ["<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "<image-series>",
             _element("id", experiment.id), _element("atlas-id", space.atlas.id),
             _element("age", space.name), _element("reference-space", space.name),
             _element("project-code", "0378"), _element("plane-of-section", "coronal"),
             _element("transgenic-line", experiment.transgenic_line),
             _element("default-image-intensity-range", "0,4095,0,1000,0,4095"),
             _element("experiment-info-url", "%s/demo/experiment/%d" % (base_url, experiment.id)),
             "<primary-injection-structure>", _element("name", name),
             _element("abbreviation", abbreviation), "</primary-injection-structure>"]
    parts += _images_xml(_series_images(space, 0), space.atlas.id, experiment.id)
    parts.append("</image-series>")
    return "\n".join(parts).encode("utf-8")


def projection_zip(experiment, structures, light, base_url):
    grids = volumes.projection_volumes(experiment, projection_targets(experiment, structures))
    density_header = volumes.metaimage_header(grids.dims, grids.spacing, "MET_USHORT", "density.raw")
    if light:
        return _zip([("density.mhd", density_header), ("density.raw", grids.density)])
    return _zip([
        ("image_series.xml", projection_xml(experiment, base_url)),
        ("injection_mask.mhd", volumes.metaimage_header(grids.dims, grids.spacing, "MET_FLOAT",
                                                        "injection_mask.raw")),
        ("injection_mask.raw", grids.mask),
        ("density.mhd", density_header), ("density.raw", grids.density),
        ("intensity.mhd", volumes.metaimage_header(grids.dims, grids.spacing, "MET_FLOAT", "intensity.raw")),
        ("intensity.raw", grids.intensity),
        ("streamlines.sl", volumes.streamlines_bytes(grids.lines)),
    ])


def correlation_zip(grid):
    return _zip([("correlation.raw", grid)])
