#!/usr/bin/env python3
"""Fills the seed corpora of the fuzz targets: the example scenes' files, plus
small files in the shapes the tests use (R12 DXF with header, tables and
handles; P3 with and without comment, P6; every program's parameter file).
The input picture target gets the PPM seeds and the first bytes of the formats
that are refused; its PNG and JPEG seeds, like those of the PNG and JPEG
targets, come from make_picture_seeds.
Usage: fuzz-seeds.py CORPUS_ROOT  (one folder per target is made under it)."""
import os
import shutil
import sys

root = sys.argv[1]
repo = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
examples = os.path.join(repo, "examples")


def put(target, name, data):
    d = os.path.join(root, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def copy(target, path):
    d = os.path.join(root, target)
    os.makedirs(d, exist_ok=True)
    shutil.copy(path, os.path.join(d, os.path.basename(os.path.dirname(path)) + "_" + os.path.basename(path)))


def r12_dxf(faces, eol="\r\n"):
    lines = ["  0", "SECTION", "  2", "HEADER", "  9", "$ACADVER", "  1", "AC1009", "  0", "ENDSEC",
             "  0", "SECTION", "  2", "TABLES", "  0", "TABLE", "  2", "LAYER", " 70", "1",
             "  0", "LAYER", "  2", "10", " 70", "0", " 62", "10", "  6", "CONTINUOUS", "  0", "ENDTAB",
             "  0", "ENDSEC", "  0", "SECTION", "  2", "ENTITIES"]
    for n, face in enumerate(faces):
        lines += ["  0", "3DFACE", "  5", "%X" % (16 + n), "  8", "10", " 62", "10"]
        for i, (x, y, z) in enumerate(face):
            lines += [" 1%d" % i, repr(x), " 2%d" % i, repr(y), " 3%d" % i, repr(z)]
    lines += ["  0", "ENDSEC", "  0", "EOF"]
    return eol.join(lines) + eol


square = [(-40.0, 100.0, 80.0), (40.0, 100.0, 80.0), (40.0, 100.0, 20.0), (-40.0, 100.0, 20.0)]
pyramid = [[(0.0, 0.0, 50.0), (30.0, 0.0, 0.0), (0.0, 30.0, 0.0), (0.0, 30.0, 0.0)],
           [(0.0, 0.0, 50.0), (0.0, 30.0, 0.0), (-30.0, 0.0, 0.0), (-30.0, 0.0, 0.0)],
           [(0.0, 0.0, 50.0), (-30.0, 0.0, 0.0), (0.0, -30.0, 0.0), (0.0, -30.0, 0.0)]]

for target in ("dxf", "facets"):
    for scene in ("specchio", "cilindro", "cono"):
        for name in os.listdir(os.path.join(examples, scene)):
            if name.endswith(".dxf"):
                copy(target, os.path.join(examples, scene, name))
    put(target, "r12_crlf.dxf", r12_dxf([square]))
    put(target, "r12_lf.dxf", r12_dxf(pyramid, "\n"))
    put(target, "r12_cr.dxf", r12_dxf([square] + pyramid, "\r"))
    put(target, "shuffled.dxf", "0\n3DFACE\n33\n1\n13\n2\n23\n3\n10\n0\n20\n0\n11\n1\n21\n0\n12\n1\n22\n1\n0\nEOF\n\x1a junk")

# Mirror meshes: the first byte picks the extension (0 stl, 1 obj, 2 ply, 3 off, 4 dxf, 5 gltf, 6 glb, 7 3mf).
import struct
quad = [(0, 0, 0), (4, 0, 0), (4, 4, 1), (0, 4, 1)]
tris = [quad[:3], [quad[2], quad[3], quad[0]]]
stl = b"binary STL".ljust(80, b" ") + struct.pack("<I", len(tris))
for t in tris:
    stl += struct.pack("<3f", 0, 0, 0) + b"".join(struct.pack("<3f", *p) for p in t) + b"\0\0"
put("mesh", "binary.stl", b"\0" + stl)
put("mesh", "ascii.stl", "\0solid m\n" + "".join(
    "facet normal 0 0 0\nouter loop\n" + "".join("vertex %g %g %g\n" % p for p in t) + "endloop\nendfacet\n"
    for t in tris) + "endsolid m\n")
put("mesh", "polygons.obj", "\1o m\nv 0 0 0\nv 4 0 0\nv 4 4 1\nv 0 4 1\nv 1 1 0\nv 9 9 9\n"
    "f 1 2 3 4\nf 1 5 3 4\nf 1 2 3 4 5 6\nf 1 2 3\ng other\nf 2/1 3/1 -1\n")
ply_header = ("ply\nformat %s 1.0\nelement vertex 5\nproperty float x\nproperty float y\nproperty float z\n"
              "element face 2\nproperty list uchar int vertex_indices\nend_header\n")
put("mesh", "ascii.ply", "\2" + ply_header % "ascii" + "".join("%g %g %g\n" % p for p in quad + [(1, 1, 0)]) +
    "4 0 1 2 3\n3 0 4 2\n")
put("mesh", "binary.ply", b"\2" + (ply_header % "binary_little_endian").encode() +
    b"".join(struct.pack("<3f", *p) for p in quad + [(1, 1, 0)]) +
    struct.pack("<B4i", 4, 0, 1, 2, 3) + struct.pack("<B3i", 3, 0, 4, 2))
put("mesh", "square.off", "\3OFF\n4 1 0\n0 0 0\n4 0 0\n4 4 1\n0 4 1\n4 0 1 2 3\n")
put("mesh", "coloured.off", "\3COFF\n# a quad\n5 2 0\n# vertices\n0 0 0 9 9 9 1\n4 0 0 9 9 9 1\n4 4 1 9 9 9 1\n"
    "0 4 1 9 9 9 1\n1 1 0 9 9 9 1\n4\t0 1 2 3\r\n3 0 4 2 0.5 0.5 0.5\n# end\n")
put("mesh", "faces.dxf", "\4" + r12_dxf([quad]))
# glTF (5), binary glTF (6) and 3MF (7), their data in the file.
import base64
import io
import json
import zipfile
bin_ = b"".join(struct.pack("<3f", *p) for t in tris for p in t) + struct.pack("<6I", *range(6))
gltf = {"asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0]}],
        "nodes": [{"children": [1], "matrix": [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 0, 0, 1]}, {"mesh": 0}],
        "meshes": [{"primitives": [{"attributes": {"POSITION": 0}, "indices": 1, "mode": 4}]}],
        "buffers": [{"byteLength": len(bin_),
                     "uri": "data:application/octet-stream;base64," + base64.b64encode(bin_).decode()}],
        "bufferViews": [{"buffer": 0, "byteOffset": 0, "byteLength": 72},
                        {"buffer": 0, "byteOffset": 72, "byteLength": 24}],
        "accessors": [{"bufferView": 0, "componentType": 5126, "count": 6, "type": "VEC3"},
                      {"bufferView": 1, "componentType": 5125, "count": 6, "type": "SCALAR"}]}
put("mesh", "embedded.gltf", "\5" + json.dumps(gltf))
glb_json = json.dumps(dict(gltf, buffers=[{"byteLength": len(bin_)}])).encode()
glb_json += b" " * (-len(glb_json) % 4)
glb = (struct.pack("<4sII", b"glTF", 2, 28 + len(glb_json) + len(bin_)) +
       struct.pack("<I4s", len(glb_json), b"JSON") + glb_json + struct.pack("<I4s", len(bin_), b"BIN\0") + bin_)
put("mesh", "binary.glb", b"\6" + glb)
model = ('<?xml version="1.0" encoding="UTF-8"?>\n<model unit="centimeter" '
         'xmlns="http://schemas.microsoft.com/3dmanufacturing/core/2015/02"><resources><object id="1" type="model">'
         '<mesh><vertices>' + "".join('<vertex x="%g" y="%g" z="%g"/>' % p for p in quad) +
         '</vertices><triangles><triangle v1="0" v2="1" v3="2"/><triangle v1="2" v2="3" v3="0"/></triangles>'
         '</mesh></object></resources><build><item objectid="1" transform="1 0 0 0 1 0 0 0 1 1 2 3"/></build></model>')
zipped = io.BytesIO()
with zipfile.ZipFile(zipped, "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("[Content_Types].xml", '<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.'
               'openxmlformats.org/package/2006/content-types"><Default Extension="rels" ContentType="application/'
               'vnd.openxmlformats-package.relationships+xml"/><Default Extension="model" ContentType="application/'
               'vnd.ms-package.3dmanufacturing-3dmodel+xml"/></Types>')
    z.writestr("_rels/.rels", '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.'
               'openxmlformats.org/package/2006/relationships"><Relationship Target="/3D/3dmodel.model" Id="rel0" '
               'Type="http://schemas.microsoft.com/3dmanufacturing/2013/01/3dmodel"/></Relationships>')
    z.writestr("3D/3dmodel.model", model)
put("mesh", "model.3mf", b"\7" + zipped.getvalue())

put("ppm", "p3_comment.ppm", "P3\n# test card\n3 2\n255\n255 0 0  0 255 0 0 0 255\n255 255 255 0 0 0 128 128 128\n")
put("ppm", "p3_bare.ppm", "P3 2 2 15 1 2 3 4 5 6 7 8 9 10 11 300\n")
put("ppm", "p3_wide.ppm", "P3\n#a\n#b\n2 1 65535\n65535 0 32768   1 2 3\n")
put("ppm", "p6.ppm", b"P6\n# binary\n2 2\n255\n" + bytes(range(12)))
put("ppm", "p6_16bit.ppm", b"P6 1 2 1000\n" + bytes(range(12)))
with open(os.path.join(examples, "cartello.ppm"), "rb") as f:
    head = f.read(3000)
put("ppm", "cartello_head.ppm", head)  # a real header and the start of its pixels
for name in os.listdir(os.path.join(root, "ppm")):
    with open(os.path.join(root, "ppm", name), "rb") as f:
        put("picture", name, f.read())
put("picture", "empty", b"")
put("picture", "gif.gif", b"GIF89a\x01\x00\x01\x00\x00\x00\x00;")
put("picture", "bmp.bmp", b"BM" + bytes(12) + b"\x28\x00\x00\x00" + bytes(36))
put("picture", "tiff.tif", b"II*\x00\x08\x00\x00\x00" + bytes(8))
put("picture", "webp.webp", b"RIFF\x1a\x00\x00\x00WEBPVP8 " + bytes(14))
put("picture", "heic.heic", b"\x00\x00\x00\x18ftypheic" + bytes(12))
put("picture", "png_signature_only.png", b"\x89PNG\r\n\x1a\n")
put("picture", "jpeg_soi_only.jpg", b"\xff\xd8\xff")

names = ["faccia.dxf", "figura.ppm", "anamorfosi.ppm"]
params = {
    "specchio": ["faccia.dxf", "specchio.dxf", "figura.ppm", "anamorfosi.ppm", "0 -150 120", "800", "4"],
    "cilindro": ["0 0", "25", "faccia.dxf", "figura.ppm", "anamorfosi.ppm", "0 -300 250", "800", "4"],
    "cono": ["0 0", "30", "60", "faccia.dxf", "figura.ppm", "anamorfosi.ppm", "0 0 400", "800", "4"],
    "generico": ["superficie.dxf", "faccia.dxf", "figura.ppm", "anamorfosi.ppm", "0.0 0.0 400.0", "1000", "4", "1"],
}
for prog, lines in params.items():
    target = "parameters_" + prog
    put(target, "crlf.txt", "\r\n".join(lines) + "\r\n")
    put(target, "lf.txt", "\n".join(lines) + "\n\x1a ignored")
    put(target, "odd_numbers.txt", "\n".join(l.replace("0", "-0.5e+01") if any(c.isdigit() for c in l[:1]) else l
                                             for l in lines))
    ex = os.path.join(examples, prog, "parametri.txt")
    if os.path.exists(ex):
        copy(target, ex)

# Scene files of the anamorfosi command, and DXF headers declaring their units.
put("scene", "cilindro.json", """{
  "mirror": {"type": "cilindro", "axis": [0.0, 0.0], "radius": 25.0},
  "eye": [0.0, -300.0, 250.0],
  "face": [[-20.0, 0.0, 35.0], [20.0, 0.0, 35.0], [20.0, 0.0, 5.0], [-20.0, 0.0, 5.0]],
  "picture": "foto.png", "units": "mm", "dpi": 300.0, "accuracy": 4, "antialias": 2,
  "background": "white", "marks": true, "program_window": false,
  "window": {"min_x": -101.5, "min_y": -108.4, "max_x": 101.5, "max_y": 30.0, "cell_size": 0.0846, "width": 2399, "height": 1635}
}
""")
put("scene", "specchio_units.json", '{"mirror": {"type": "specchio", "file": "specchio.dxf", "file_units": "mm"}, '
    '"eye": [0, -6, 5], "face": [[-1.6, 4, 3.2], [1.6, 4, 3.2], [1.6, 4, 0.8], [-1.6, 4, 0.8]], '
    '"picture": "p.png", "units": "in", "dpi": 300, "accuracy": 4, "antialias": 2, "background": "white"}')
put("scene", "generico.json", '{"mirror": {"type": "generico", "file": "cono.dxf", "vertical_axis": true}, '
    '"eye": [0, 0, 400], "face": [[-10, 7.5, 200], [10, 7.5, 200], [10, -7.5, 200], [-10, -7.5, 200]], '
    '"grid": "12x8", "units": "in", "pixels": 800, "accuracy": 2, "antialias": 1, "background": "black"}')
for value in ("0", "1", "4", "5", "6", "21", "24", "25", "6.5"):
    put("dxf_units", "insunits_%s.dxf" % value,
        "  0\r\nSECTION\r\n  2\r\nHEADER\r\n  9\r\n$INSUNITS\r\n 70\r\n%s\r\n  0\r\nENDSEC\r\n" % value)
