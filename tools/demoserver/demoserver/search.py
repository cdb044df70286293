"""Search answers: gene-mode and projection-mode result XML, one page at a time."""

from xml.sax.saxutils import escape, quoteattr


def _element(name, value):
    return "<%s>%s</%s>" % (name, escape(str(value)), name)


def page(results, start, count):
    start = max(0, start)
    if count <= 0:
        return results[start:]
    return results[start:start + count]


def gene_xml(results, start, count):
    """Records under "image-series/image-series", grouped in "gene" elements.

    A gene's fields come before its series so that they hold for every series
    inside it; "total-entries" counts series records, not genes.
    """
    rows = page(results, start, count)
    parts = ["<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
             "<genes total-entries=%s>" % quoteattr(str(len(results)))]
    current = None
    for series, score in rows:
        if series.gene is not current:
            if current is not None:
                parts.append("</image-series></gene>")
            current = series.gene
            parts += ["<gene>", _element("id", current.id), _element("gene-symbol", current.symbol),
                      _element("name", current.name), _element("entrez-id", current.entrez_id),
                      "<image-series>"]
        parts += ["<image-series>", _element("id", series.id),
                  _element("storage-directory", series.storage_directory),
                  _element("plane-of-section", series.plane_name),
                  _element("score", "%.4f" % score), _element("age", series.space.name),
                  _element("correlation-search-available", "true"), "</image-series>"]
    if current is not None:
        parts.append("</image-series></gene>")
    parts.append("</genes>")
    return "\n".join(parts).encode("utf-8")


def projection_xml(results, start, count):
    """Records under "data-sets/data-set"; each record carries every field."""
    rows = page(results, start, count)
    parts = ["<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
             "<data-sets total-entries=%s>" % quoteattr(str(len(results)))]
    for experiment, score in rows:
        label = experiment.structure
        parts += ["<data-set>", _element("id", experiment.id),
                  _element("structure-id", label.database_id if label is not None else 0),
                  _element("abbreviation", label.abbreviation if label is not None else ""),
                  _element("name", label.name if label is not None else ""),
                  _element("score", "%.4f" % score),
                  _element("transgenic-line", experiment.transgenic_line),
                  "<section-data-set>", _element("storage-directory", experiment.storage_directory),
                  "</section-data-set>", "</data-set>"]
    parts.append("</data-sets>")
    return "\n".join(parts).encode("utf-8")
