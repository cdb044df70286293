import os
import unittest

import support  # noqa: F401  (puts the server's modules on the path)
from demoserver.atlas import Atlas, rewrite_template
from demoserver.templates import Template, split_request


class RewriteTest(unittest.TestCase):
    def test_template_gets_base_and_renumbered_placeholders(self):
        self.assertEqual(rewrite_template("%1%/grid/0310/%2%/%3%", "http://h:1", {}, ""),
                         "http://h:1/grid/0310/%1%/%2%")

    def test_short_or_plain_text_is_appended_to_host(self):
        self.assertEqual(rewrite_template("%1%/", "http://b", {}, ""), "http://b%1%/")
        self.assertEqual(rewrite_template("/x?id=%1%", "http://b", {"k": "http://k"}, "k"), "http://k/x?id=%1%")
        self.assertEqual(rewrite_template("/x?id=%1%", "http://b", {"k": "http://k"}, "other"),
                         "http://b/x?id=%1%")


class UrlBlockReadingTest(unittest.TestCase):
    def read(self, blocks):
        folder = support.temporary_folder()
        self.addCleanup(folder.cleanup)
        with open(os.path.join(folder.name, "Info.xml"), "w") as out:
            out.write("<atlas-info id=\"7\" name=\"A\" project=\"0007\"><space name=\"S\"/>%s</atlas-info>"
                      % blocks)
        return Atlas(folder.name).url_blocks

    def test_hosts_and_keys_in_document_order(self):
        blocks = self.read(
            "<urls base=\"http://b\" key=\"k\">"
            "<grid>/first</grid>"                       # the key on the block names a host not known yet
            "<host key=\"k\" host=\"http://k\"/>"
            "<imageTile key=\"k\">/tiles</imageTile>"
            "<imageService>/service</imageService>"     # the key was used up by the element before
            "<host key=\"k\" host=\"http://late\"/>"  # the first definition of a key stays
            "</urls><urls project=\"0378\" base=\"http://c\"><grid key=\"k\">/g</grid>"
            "<geneSearch> %1%/s?term=%2%</geneSearch></urls>")
        first, second = blocks
        self.assertEqual(first.project, "0007")
        self.assertEqual(first.templates["grid"], "http://b/first")
        self.assertEqual(first.templates["imageTile"], "http://k/tiles")
        self.assertEqual(first.templates["imageService"], "http://b/service")
        self.assertEqual(second.templates["grid"], "http://k/g")
        # Text with a blank in front is no template: it is kept as it stands after the base.
        self.assertEqual(second.templates["geneSearch"], "http://c %1%/s?term=%2%")


class TemplateMatchTest(unittest.TestCase):
    def test_path_and_query_placeholders(self):
        template = Template("http://127.0.0.1:8470/search/0310/gene?start=%1%&num=%2%&term=%3%")
        path, query = split_request("/search/0310/gene?term=Gad1&num=10&start=30&extra=1")
        self.assertEqual(template.match(path, query), ["30", "10", "Gad1"])
        self.assertIsNone(template.match(*split_request("/search/0310/gene?start=0&num=10")))
        self.assertIsNone(template.match(*split_request("/search/0378/gene?start=0&num=10&term=x")))

    def test_placeholder_spanning_slashes_and_escapes(self):
        template = Template("http://other-host/tiles/%1%")
        self.assertEqual(template.match(*split_request("/tiles/sections/310/P56/coronal/4")),
                         ["sections/310/P56/coronal/4"])
        self.assertEqual(Template("http://h/s?term=%1%").match(*split_request("/s?term=a%20b")), ["a b"])

    def test_repeated_placeholder_must_agree(self):
        template = Template("http://h/a/%1%/b/%1%")
        self.assertEqual(template.match(*split_request("/a/5/b/5")), ["5"])
        self.assertIsNone(template.match(*split_request("/a/5/b/6")))


if __name__ == "__main__":
    unittest.main()
