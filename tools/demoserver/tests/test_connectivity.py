"""The projection block's search templates.

Atlas 378's gene searches and the adult atlas's projection searches send the same requests (block
"0378"); the server tells them apart by what they carry.
"""

import io
import itertools
import unittest
import urllib.parse
import xml.etree.ElementTree as ET
import zipfile

import fixture
import support
from test_routes import GENE_FIELDS, PROJECTION_FIELDS, records

server = None
folder = None


def setUpModule():
    global server, folder
    folder = support.temporary_folder()
    fixture.write_atlases(folder.name)
    server = support.RunningServer([folder.name])


def tearDownModule():
    server.stop()
    folder.cleanup()


def catalogue(atlas_id, on=None):
    on = on or server
    return on.data.catalogue(on.data.by_id[atlas_id])


def ask(path, on=None):
    """(root tag, record ids) of a search answer, read in the mode its root names."""
    status, _, body = (on or server).get(path)
    assert status == 200, body
    tag = ET.fromstring(body).tag
    fields = PROJECTION_FIELDS if tag == "data-sets" else GENE_FIELDS
    path = "data-sets/data-set" if tag == "data-sets" else "image-series/image-series"
    root, rows = records(body, path, fields)
    return tag, [int(r["id"]) for r in rows], rows


def gene_template(term, project="0378"):
    return "/search/%s/gene?start=0&num=200&term=%s" % (project, urllib.parse.quote(term, safe=""))


class ProjectionBlockTest(unittest.TestCase):
    def test_gene_template_answers_by_term(self):
        connectivity = catalogue(378)
        gene = connectivity.genes[3]
        projections = set(catalogue(310).projections) | set(connectivity.projections)
        genes_378 = set(connectivity.series)
        table = [
            ("", "data-sets", projections),
            ("1089", "data-sets", projections),
            (gene.symbol, "genes", genes_378),
            ("structac=CA1[xlevel=1]", "genes", genes_378),
            ("geneid=%d" % gene.id, "genes", genes_378),
            ("a&b #c+d%", "genes", genes_378),
        ]
        for term, tag, allowed in table:
            with self.subTest(term=term):
                got, ids, _ = ask(gene_template(term))
                self.assertEqual(got, tag)
                self.assertTrue(set(ids) <= allowed)
        _, ids, rows = ask(gene_template(gene.symbol))
        self.assertEqual(rows[0]["symbol"], gene.symbol)
        self.assertEqual({r["age"] for r in rows}, {"P56"})

    def test_gene_id_and_symbol_answer_every_series_of_the_gene(self):
        terms = (lambda gene: "geneid=%d" % gene.id, lambda gene: "genesym=" + gene.symbol)
        for (atlas_id, project), term in itertools.product(((378, "0378"), (310, "0310"), (350, "0350")), terms):
            gene = catalogue(atlas_id).genes[0]
            with self.subTest(atlas=atlas_id, term=term(gene)):
                tag, ids, rows = ask(gene_template(term(gene), project))
                self.assertEqual(tag, "genes")
                self.assertEqual(sorted(ids), sorted(s.id for s in gene.series))
                self.assertEqual({int(r["gene"]) for r in rows}, {gene.id})
        self.assertEqual(ask(gene_template("geneid=1", "0310"))[1], [])

    def test_correlation_follows_the_seed(self):
        projection = min(catalogue(310).projections)
        series = min(catalogue(378).series)
        for seed, tag in ((projection, "data-sets"), (series, "genes"), (123, "data-sets")):
            with self.subTest(seed=seed):
                got, ids, _ = ask("/search/0378/correlation?start=0&num=5&seed=%d&plane=both" % seed)
                self.assertEqual(got, tag)
                self.assertEqual(ids[:1], [seed] if seed != 123 else [])
        self.assertEqual(ask("/search/0310/correlation?start=0&num=5&seed=%d&plane=both"
                             % min(catalogue(310).series))[0], "genes")

    def test_differential_stays_projection(self):
        tag, _, _ = ask("/search/0378/differential?start=0&num=50&target=997&contrast=549&plane=coronal")
        self.assertEqual(tag, "data-sets")

    def test_gene_series_of_the_connectivity_atlas_carry_no_project_code(self):
        for project, sid, code in (("0378", min(catalogue(378).series), ""),
                                   ("0350", min(catalogue(350).series), "0350")):
            with self.subTest(project=project):
                status, _, body = server.get("/grid/%s/%d/visualize" % (project, sid))
                self.assertEqual(status, 200)
                meta = zipfile.ZipFile(io.BytesIO(body)).read("image_series.xml")
                self.assertEqual(ET.fromstring(meta).findtext("project-code") or "", code)

    def test_gene_search_is_empty_without_the_connectivity_atlas(self):
        with support.temporary_folder() as root:
            fixture.write_atlas(root + "/mouse", 310, "0310", "Mouse", ["P56"], ["0310", "0378"])
            alone = support.RunningServer([root])
            try:
                self.assertEqual(ask(gene_template(catalogue(378).genes[0].symbol), alone)[:2], ("genes", []))
                self.assertEqual(ask(gene_template(""), alone)[0], "data-sets")
            finally:
                alone.stop()


if __name__ == "__main__":
    unittest.main()
