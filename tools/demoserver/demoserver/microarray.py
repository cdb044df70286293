"""Microarray answers: donor samples first, then probes with their expression levels."""

import csv
import json
import os
import random

SAMPLES_PER_DONOR = 30


class Sample:
    def __init__(self, well, donor, position, structure_id, value):
        self.well = well
        self.donor = donor
        self.position = position
        self.structure_id = structure_id
        self.value = value


def installed_samples(space):
    """The donor's "samples_columns.csv" (positions in micrometres), or None."""
    path = os.path.join(space.path, "samples_columns.csv")
    if not os.path.isfile(path):
        return None
    ontology = space.atlas.ontology()
    with open(path, encoding="utf-8", newline="") as stream:
        rows = [row for row in csv.reader(stream) if row]
    if not rows:
        return None
    header = rows[0]
    id_column = next((i for i, h in enumerate(header) if h in ("well_id", "data_set_id")), None)
    structure_column = next((i for i, h in enumerate(header) if h == "structure_id"), None)
    samples = []
    for row in rows[1:]:
        if len(row) < 3 or id_column is None or id_column >= len(row):
            continue
        try:
            position = [int(float(row[-3 + k]) / space.view_res[k]) for k in range(3)]
            well = int(row[id_column])
            structure_id = int(row[structure_column]) if structure_column is not None else 0
        except ValueError:
            continue
        label = ontology.by_database_id.get(structure_id)
        samples.append(Sample(well, space.id, position, structure_id, label.value if label else 0))
    return samples


def donor_samples(space):
    """The donor's sample wells: the installed ones, else deterministic ones on labelled voxels."""
    installed = installed_samples(space)
    if installed:
        return installed
    ontology = space.atlas.ontology()
    annotation = space.annotation()
    labelled = [i for i, v in enumerate(annotation) if v and v in ontology.by_value]
    rng = random.Random(space.id * 104729 + space.atlas.id)
    dims = space.view_dims
    picks = rng.sample(labelled, min(SAMPLES_PER_DONOR, len(labelled))) if labelled else [
        rng.randrange(space.voxel_count) for _ in range(SAMPLES_PER_DONOR)]
    root = ontology.root()
    samples = []
    for k, i in enumerate(sorted(picks)):
        label = ontology.by_value.get(annotation[i]) or root
        position = [i % dims[0], (i // dims[0]) % dims[1], i // (dims[0] * dims[1])]
        samples.append(Sample(space.id * 10000 + k + 1, space.id, position,
                              label.database_id if label is not None else 0, annotation[i]))
    return samples


def probe_levels(probe, samples, ontology):
    target = {l.value for l in ontology.subtree(probe.gene.target)} if probe.gene.target else set()
    rng = random.Random(probe.id)
    return [round((rng.uniform(10.0, 14.0) if s.value in target else rng.uniform(2.0, 7.0)), 3)
            for s in samples]


def microarray_json(atlas, probes):
    samples = []
    for space in atlas.spaces:
        samples += donor_samples(space)
    ontology = atlas.ontology()
    document = {
        "success": True,
        "samples": [{"sample": {"well": s.well, "mri": s.position},
                     "structure": {"id": s.structure_id},
                     "donor": {"id": s.donor}} for s in samples],
        "probes": [{"id": p.id, "name": p.name, "gene-id": p.gene.id,
                    "gene-symbol": p.gene.symbol, "gene-name": p.gene.name,
                    "entrez-id": p.gene.entrez_id,
                    "expression_level": probe_levels(p, samples, ontology)} for p in probes],
    }
    return json.dumps(document, separators=(",", ":")).encode("utf-8")
