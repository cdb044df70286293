"""The synthetic gene, image-series, projection and probe catalogues.

Everything is derived from the atlas id and the generated structures with
seeded generators, so two servers over the same atlases answer alike.  Every
gene is tied to one target structure, where its data sets express strongly.
"""

import csv
import os
import random
import re

from . import volumes
from .atlas import PROJECTION_PROJECT_CODE
from .datasets import projection_targets

GENES_PER_ATLAS = 300
PROJECTIONS_PER_ATLAS = 60
PROBES_PER_GENE = 2
GENE_ID_PREFIX = "geneid="
GENE_SYMBOL_PREFIX = "genesym="

_ONSETS = ("B", "C", "D", "F", "G", "K", "L", "M", "N", "P", "R", "S", "T", "V", "Z",
           "Br", "Cr", "Gl", "Pl", "Sl", "Tr")
_VOWELS = ("a", "e", "i", "o", "u", "y")
_CODAS = ("b", "c", "d", "k", "l", "m", "n", "p", "r", "s", "t", "x", "ng", "rk")
_ROLES = ("binding protein", "receptor", "kinase", "channel subunit", "transcription factor",
          "transporter", "synthase", "adhesion molecule", "phosphatase", "ligand")


def _ancestor_ids(label):
    """Database ids, as text, of a structure and every structure above it."""
    ids = set()
    while label is not None and str(label.database_id) not in ids:
        ids.add(str(label.database_id))
        label = label.parent
    return ids


def _within(label, abbreviation):
    """Whether a structure lies inside the one with that (lower-case) abbreviation."""
    seen = set()
    label = label.parent if label is not None else None
    while label is not None and id(label) not in seen:
        if label.abbreviation.lower() == abbreviation:
            return True
        seen.add(id(label))
        label = label.parent
    return False


# The anatomic search's query: rows "structac=<abbreviation>[<filter>=<1|2>;...]" joined by " and " or
# " or ", taken from left to right. Filter 1 asks for medium, 2 for high (coverage, level) or, of the
# pattern, 1 regional and 2 scattered, as the series' generated grids express them.
_ANATOMIC_ROW = re.compile(r"structac=([^\[\]\s]+)\[([^\[\]]*)\]")
_ANATOMIC_JOINER = re.compile(r"\s+(and|or)\s+")
_ANATOMIC_FILTERS = {
    "xlevel": (lambda level, density_class: level < volumes.HIGH_LEVEL,
               lambda level, density_class: level >= volumes.HIGH_LEVEL),
    "xdensity": (lambda level, density_class: density_class < volumes.DENSE,
                 lambda level, density_class: density_class == volumes.DENSE),
    "xpattern": (lambda level, density_class: density_class != volumes.SCATTERED,
                 lambda level, density_class: density_class == volumes.SCATTERED),
}


def _anatomic_row(text):
    """(abbreviation, tests) of one row of an anatomic query, or None when the text is no such row."""
    match = _ANATOMIC_ROW.fullmatch(text)
    if match is None:
        return None
    tests = []
    for piece in match.group(2).split(";") if match.group(2) else []:
        key, _, value = piece.partition("=")
        if key not in _ANATOMIC_FILTERS or value not in ("1", "2"):
            return None
        tests.append(_ANATOMIC_FILTERS[key][int(value) - 1])
    return match.group(1), tests


def parse_anatomic_query(term):
    """[(joiner, abbreviation, tests)] of an anatomic query (the first joiner None), or None when the
    term is not one."""
    pieces = _ANATOMIC_JOINER.split(term.strip().lower())
    rows = []
    for k in range(0, len(pieces), 2):
        row = _anatomic_row(pieces[k])
        if row is None:
            return None
        rows.append((pieces[k - 1] if k else None,) + row)
    return rows


def _structure_score(target, abbreviation):
    """The score of a gene's target for a structure named in a search, None when it lies outside."""
    if target is None:
        return None
    if target.abbreviation.lower() == abbreviation:
        return 0.8
    # A large structure's abbreviation finds the genes of the structures inside it.
    return 0.7 if _within(target, abbreviation) else None


def _seed_first(seed, scored):
    """The seed of a similarity search, then the others by falling score and rising id."""
    return [(seed, 1.0)] + sorted(scored, key=lambda item: (-item[1], item[0].id))


def gene_project_code(atlas):
    """The project code written into a gene series' metadata. Atlas 378's own code marks projection
    data, which its gene series are not: they carry none."""
    return "" if atlas.project == PROJECTION_PROJECT_CODE else atlas.project


def series_id(atlas_id, n):
    return atlas_id * 10000 + n


class Gene:
    def __init__(self, index, gene_id, symbol, name, entrez_id, target):
        self.index = index
        self.id = gene_id
        self.symbol = symbol
        self.name = name
        self.entrez_id = entrez_id
        self.target = target
        self.series = []


class Series:
    """One image series (data set) of a gene in one space and plane."""

    def __init__(self, sid, gene, space, plane):
        self.id = sid
        self.gene = gene
        self.space = space
        self.plane = plane
        self.storage_directory = "/demo/storage/%d/" % sid
        self.project = ""

    @property
    def plane_name(self):
        return "coronal" if self.plane == 0 else "sagittal"


class Projection:
    """One projection experiment, injected into one structure."""

    def __init__(self, sid, structure, space, line_name, score):
        self.id = sid
        self.structure = structure
        self.space = space
        self.transgenic_line = line_name
        self.score = score
        self.storage_directory = "/demo/storage/%d/" % sid


class Probe:
    def __init__(self, probe_id, name, gene):
        self.id = probe_id
        self.name = name
        self.gene = gene


def _symbol(rng, taken):
    while True:
        symbol = rng.choice(_ONSETS) + rng.choice(_VOWELS) + rng.choice(_CODAS)
        symbol = symbol[0].upper() + symbol[1:] + str(rng.randint(1, 9))
        if symbol not in taken:
            taken.add(symbol)
            return symbol


class AtlasCatalogue:
    def __init__(self, atlas):
        self.atlas = atlas
        ontology = atlas.ontology()
        counts = {}
        for space in atlas.spaces:
            for value, count in space.structure_voxels().items():
                counts[value] = counts.get(value, 0) + count
        # Structures that mark voxels make visible patterns; without any
        # annotation every structure but the root takes part.
        self.structures = [l for l in ontology.labels if l.value and counts.get(l.value)]
        if not self.structures:
            root = ontology.root()
            self.structures = [l for l in ontology.labels if l is not root] or list(ontology.labels)
        rng = random.Random(atlas.id * 7919 + 17)
        taken = set()
        self.genes = []
        self.series = {}
        n = 1
        for i in range(GENES_PER_ATLAS):
            symbol = _symbol(rng, taken)
            target = self.structures[i % len(self.structures)] if self.structures else None
            where = target.name or target.abbreviation if target else "brain"
            name = "%s %s, %s enriched" % (symbol, rng.choice(_ROLES), where)
            gene = Gene(i, atlas.id * 10000 + i + 1, symbol, name, 100000 + atlas.id * 1000 + i, target)
            planes = (0, 1) if i % 3 == 0 else (i % 2,)
            for space in atlas.spaces:
                for plane in planes:
                    s = Series(series_id(atlas.id, n), gene, space, plane)
                    s.project = gene_project_code(atlas)
                    n += 1
                    gene.series.append(s)
                    self.series[s.id] = s
            self.genes.append(gene)
        self.projections = {}
        if atlas.has_projection_search:
            p56 = atlas.space("P56") or atlas.spaces[0]
            for k in range(PROJECTIONS_PER_ATLAS):
                structure = self.structures[(k * 7) % len(self.structures)] if self.structures else None
                p = Projection(series_id(atlas.id, 5000 + k), structure, p56,
                               rng.choice(("", "", "Cre-A1", "Cre-B2", "Cre-C3")),
                               round(rng.uniform(0.1, 1.0), 4))
                self.projections[p.id] = p
        self.probes = self._installed_probes(atlas)
        if not self.probes:
            for gene in self.genes:
                for k in range(PROBES_PER_GENE):
                    probe = Probe(gene.id * 10 + k + 1, "A_%d_P%d" % (gene.id, k + 1), gene)
                    self.probes[probe.id] = probe

    def _installed_probes(self, atlas):
        """The atlas's own "probe_info.csv", so that downloads agree with the installed index."""
        path = os.path.join(atlas.path, "probe_info.csv")
        probes = {}
        if not os.path.isfile(path):
            return probes
        genes = {}
        with open(path, encoding="utf-8", newline="") as stream:
            rows = list(csv.reader(stream))[1:]
        for row in rows:
            if len(row) < 6 or not row[0].isdigit():
                break
            gene_id = int(row[2]) if row[2].isdigit() else 0
            gene = genes.get(gene_id)
            if gene is None:
                target = self.structures[len(genes) % len(self.structures)] if self.structures else None
                gene = Gene(len(genes), gene_id, row[3], row[4], int(row[5]) if row[5].isdigit() else 0, target)
                genes[gene_id] = gene
            probes[int(row[0])] = Probe(int(row[0]), row[1], gene)
        return probes

    # -- searches ------------------------------------------------------------

    def gene_matches(self, term):
        """Series of the genes that a search term names, best matches first."""
        term = term.strip().lower()
        query = parse_anatomic_query(term)
        if query is not None:
            return self.anatomic_matches(query)
        # A search by gene id, or by exact symbol (all that the graph's nodes of an imported table know),
        # answers every series of that gene.
        for prefix, key in ((GENE_ID_PREFIX, lambda gene: str(gene.id)),
                            (GENE_SYMBOL_PREFIX, lambda gene: gene.symbol.lower())):
            if term.startswith(prefix):
                return [(s, 1.0) for gene in self.genes if key(gene) == term[len(prefix):] for s in gene.series]
        scored = []
        for gene in self.genes:
            symbol, name = gene.symbol.lower(), gene.name.lower()
            target = gene.target
            if not term or term == "*":
                score = 0.5
            elif symbol == term:
                score = 1.0
            elif symbol.startswith(term):
                score = 0.9
            elif _structure_score(target, term) is not None:
                score = _structure_score(target, term)
            elif term in name:
                score = 0.6
            else:
                continue
            scored.append((-score, gene.symbol, gene))
        scored.sort(key=lambda item: (item[0], item[1]))
        out = []
        for negative, _, gene in scored:
            for s in gene.series:
                out.append((s, -negative))
        return out

    def anatomic_matches(self, query):
        """Series whose gene's target lies in the rows' structures and whose grids pass their filters,
        best first."""
        scored = []
        for gene in self.genes:
            for s in gene.series:
                level, density_class, _ = volumes.target_expression(s)
                score = None
                for joiner, abbreviation, tests in query:
                    row = _structure_score(gene.target, abbreviation)
                    if row is not None and not all(test(level, density_class) for test in tests):
                        row = None
                    if joiner == "and":
                        score = min(score, row) if score is not None and row is not None else None
                    elif row is not None:
                        score = row if score is None else max(score, row)
                if score is not None:
                    scored.append((-score, gene.symbol, s.id, s))
        scored.sort(key=lambda item: item[:3])
        return [(s, -negative) for negative, _, _, s in scored]

    def _subtree(self, database_id):
        """Identities of the labels under the structure with that database id, itself included."""
        ontology = self.atlas.ontology()
        label = ontology.by_database_id.get(database_id)
        return set(id(l) for l in ontology.subtree(label)) if label else set()

    def differential(self, structure_a, structure_b):
        """Series of genes expressed in structure B, within structure A (database ids).

        The program's search for genes by anatomy sends the root as A and the structure
        the user selected as B.
        """
        in_a = self._subtree(structure_a)
        in_b = self._subtree(structure_b)
        out = []
        for gene in self.genes:
            t = id(gene.target)
            if t in in_a and t in in_b:
                score = 2.0 - 0.001 * gene.index
                for s in gene.series:
                    if s.plane == 0:
                        out.append((s, score))
        return out

    def similar(self, seed_id):
        """Series of the seed's space ordered by a deterministic similarity to it."""
        seed = self.series.get(seed_id)
        if seed is None:
            return []
        rng = random.Random(seed_id)
        out = []
        for s in self.series.values():
            if s.space is not seed.space or s.id == seed_id:
                continue
            same = s.gene.target is seed.gene.target
            score = (0.7 + 0.3 * rng.random()) if same else (rng.random() * 1.2 - 0.5)
            out.append((s, round(score, 4)))
        return _seed_first(seed, out)

    def projection_matches(self, term):
        """Experiments injected into the structure that the term names.

        The program's search for projections from a structure sends the structure's
        database id, which also finds injections into its descendants.
        """
        term = term.strip().lower()
        out = []
        for p in sorted(self.projections.values(), key=lambda p: p.id):
            label = p.structure
            if (not term or term == "*" or label is None
                    or term == label.abbreviation.lower() or term in label.name.lower()
                    or term == str(p.id) or term in _ancestor_ids(label)):
                out.append((p, p.score))
        return out

    def projections_into(self, structure_a, structure_b):
        """Experiments from structure A's subtree that project into structure B's (database ids)."""
        in_a = self._subtree(structure_a)
        in_b = self._subtree(structure_b)
        out = []
        for p in sorted(self.projections.values(), key=lambda p: p.id):
            if id(p.structure) in in_a and any(id(t) in in_b for t in projection_targets(p, self.structures)):
                out.append((p, p.score))
        return out

    def similar_projections(self, seed_id):
        seed = self.projections.get(seed_id)
        if seed is None:
            return []
        rng = random.Random(seed_id)
        rest = [(p, round(rng.random(), 4)) for p in self.projections.values() if p.id != seed_id]
        return _seed_first(seed, rest)

    def probe_matches(self, term):
        term = term.strip().lower()
        return [p for p in sorted(self.probes.values(), key=lambda p: p.id)
                if not term or p.gene.symbol.lower().startswith(term) or term in p.gene.name.lower()]
