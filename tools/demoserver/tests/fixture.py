"""Small atlas folders written in Python, in the generator's layout, for fast tests."""

import os
from array import array

BASE = "http://127.0.0.1:8470"

# name, abbreviation, database id, parent database id, annotation value
STRUCTURES = [
    ("root", "root", 997, "", 1),
    ("Cortex", "Cx", 688, "997", 2),
    ("Hippocampal formation", "HiF", 1089, "997", 3),
    ("Field CA1", "CA1", 382, "1089", 4),
    ("Thalamus", "TH", 549, "997", 5),
    ("Correlation probe", "CORR", 9999, "997", 250),
]


def _templates(atlas_id, project):
    p = project
    rows = [("grid", "%%1%%/grid/%s/%%2%%/%%3%%" % p),
            ("imageSeriesDisplay", "%%1%%/experiment/%s/%%2%%" % p),
            ("imageViewer", "%%1%%/viewer/%s/image?image=%%2%%&amp;series=%%3%%" % p),
            ("imageTile", "%1%/tiles/%2%"),
            ("imageService", "%1%/imageservice?path=%2%")]
    if atlas_id in (310, 378, 350):
        rows.append(("geneSearch", "%%1%%/search/%s/gene?start=%%2%%&amp;num=%%3%%&amp;term=%%4%%" % p))
        rows.append(("correlationSearch",
                     "%%1%%/search/%s/correlation?start=%%2%%&amp;num=%%3%%&amp;seed=%%4%%%s"
                     % (p, "&amp;plane=%5%" if atlas_id != 350 else "")))
        if atlas_id != 350:
            rows.append(("differentialSearch",
                         "%%1%%/search/%s/differential?start=%%2%%&amp;num=%%3%%&amp;target=%%4%%"
                         "&amp;contrast=%%5%%&amp;plane=%%6%%" % p))
    else:
        rows.append(("geneSearch", "%%1%%/search/%s/gene?term=%%2%%" % p))
    return "".join("<%s>%s</%s>" % (tag, text, tag) for tag, text in rows)


def write_atlas(folder, atlas_id, project, name, spaces, blocks, with_transforms=False, base=BASE):
    """An atlas of 24 x 16 x 20 voxels at 500 um with a 12 x 8 x 10 view grid at 1000 um."""
    atlas_dims, view_dims = (24, 16, 20), (12, 8, 10)
    os.makedirs(folder)
    space_xml = "".join(
        "<space name=\"%s\" id=\"%d\"><view-volume><size width=\"12\" height=\"8\" depth=\"10\"/>"
        "<pixel-spacing width=\"1000\" height=\"1000\" depth=\"1000\"/></view-volume>"
        "<tissue-volume><size width=\"24\" height=\"16\" depth=\"20\"/>"
        "<pixel-spacing width=\"500\" height=\"500\" depth=\"500\"/></tissue-volume></space>" % (s, i + 1)
        for i, s in enumerate(spaces))
    url_xml = "".join("<urls project=\"%s\" base=\"%s\">%s</urls>" % (b, base, _templates(atlas_id, b))
                      for b in blocks)
    with open(os.path.join(folder, "Info.xml"), "w") as out:
        out.write("<?xml version=\"1.0\"?>\n<atlas name=\"%s\" id=\"%d\" project=\"%s\" version=\"3\">"
                  "%s%s</atlas>\n" % (name, atlas_id, project, space_xml, url_xml))
    with open(os.path.join(folder, "ontology_v2.csv"), "w") as out:
        out.write("name,abbreviation,parent,red,green,blue,id,database_id,order,level,mesh_name\n")
        for i, (full, abbreviation, database_id, parent, value) in enumerate(STRUCTURES):
            out.write("%s,%s,%s,100,120,140,%d,%d,%d,0,%s\n" % (full, abbreviation, parent, value,
                                                                database_id, i, abbreviation))
    for space in spaces:
        path = os.path.join(folder, "Spaces", space)
        os.makedirs(path)
        annotation = array("B")
        for z in range(atlas_dims[2]):
            for y in range(atlas_dims[1]):
                for x in range(atlas_dims[0]):
                    inside = 2 <= x < 22 and 2 <= y < 14 and 2 <= z < 18
                    annotation.append(0 if not inside else 2 if y < 6 else 4 if x < 12 else 5)
        with open(os.path.join(path, "Annotation"), "wb") as out:
            out.write(annotation.tobytes())
        with open(os.path.join(path, "Atlas"), "wb") as out:
            out.write(bytes(40 * v for v in annotation))
        with open(os.path.join(path, "coronal_images.xml"), "w") as out:
            out.write(_image_list(atlas_id, space, with_transforms))
        with open(os.path.join(path, "samples_columns.csv"), "w") as out:
            out.write("well_id,structure_id,injection_size,x,y,z\n")
            for k in range(6):
                out.write("%d,%d,0,%d,%d,%d\n" % (5000 + k, 382 if k % 2 else 549, 3500 + 1000 * k, 7500, 8500))
    if atlas_id == 351:
        with open(os.path.join(folder, "probe_info.csv"), "w") as out:
            out.write("probe_id,probe_name,gene_id,gene_symbol,gene_name,entrez_id\n")
            for k in range(4):
                out.write("%d,P_%d,%d,Gn%d,gene %d,%d\n" % (1001 + k, k, 50 + k // 2, k // 2, k // 2, 700 + k))
    return atlas_dims, view_dims


def _image_list(atlas_id, space, with_transforms):
    """Coronal images of 80 x 64 pixels (4 per voxel of z and y) at x = 2.5 mm and 7.5 mm."""
    images = []
    for k, x_um in enumerate((2750, 7750)):
        tvs = "<tvs>4,0,0,4,0,0</tvs>" if with_transforms else ""
        images.append(
            "<image><id>%d</id><section-index>%d</section-index><imagepath>sections/%d/%s/coronal/%d"
            "</imagepath><width>80</width><height>64</height><left>0</left><top>0</top>"
            "<parentimagewidth>80</parentimagewidth><parentimageheight>64</parentimageheight>"
            "<z-value>%d</z-value>%s</image>" % (1000000 + k, k, atlas_id, space, k, x_um, tvs))
    # Section coordinates (p0, p1, s) = (z / 500, y / 500, x): u = 4 p0, v = 4 p1 pixels.
    transforms = ("<trv>0,0,0.002,0,0.002,0,1,0,0,0,0,0</trv>"
                  "<tvr>0,0,1,0,500,0,500,0,0,0,0,0</tvr>" if with_transforms else "")
    return ("<?xml version=\"1.0\"?>\n<image-series><id>100000</id><plane-of-section>coronal"
            "</plane-of-section>%s<images>%s</images></image-series>\n" % (transforms, "".join(images)))


def write_atlases(root):
    """Five atlases: adult mouse with projections, connectivity, developing mouse, microarray and rat."""
    write_atlas(os.path.join(root, "mouse"), 310, "0310", "Test Adult Mouse", ["P56"], ["0310", "0378"],
                with_transforms=True)
    write_atlas(os.path.join(root, "connectivity"), 378, "0378", "Test Connectivity", ["P56"], ["0378"])
    write_atlas(os.path.join(root, "dev"), 350, "0350", "Test Developing Mouse", ["E15.5", "P14"], ["0350"])
    write_atlas(os.path.join(root, "primate"), 351, "0351", "Test Microarray", ["D351-A", "D351-B"],
                ["0351"])
    write_atlas(os.path.join(root, "rat"), 50000, "50000", "Test Rat", ["P56"], ["50000"], base=BASE + "/rat")
