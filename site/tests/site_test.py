"""The browser page as a user meets it, in headless Chromium: served by
`anamorfosi serve` and from a double-clicked index.html (file://); the test card's
cylinder print made in the browser, its PNG downloaded and compared with the
command's (pHYs, texts and cells); refused values told beside their fields."""
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

SITE, BINARY, EXAMPLES, NODE_MODULES, SHOTS = (os.path.abspath(a) for a in sys.argv[1:6])
COMPARE = sys.argv[6]  # exact: the command computes in double too; long-double
PHOTO = os.path.abspath(sys.argv[7])  # site_photo: writes a JPEG with an EXIF orientation
del sys.argv[1:8]
HERE = os.path.dirname(os.path.abspath(__file__))


def read_ppm(path):
    """width, height and the samples of the binary PPM pdftoppm writes."""
    with open(path, "rb") as f:
        data = f.read()
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        start = at
        while not data[at:at + 1].isspace():
            at += 1
        fields.append(data[start:at])
    return int(fields[1]), int(fields[2]), data[at + 1:]


def ball_files(folder):
    """A ball of triangles (radius 25 round (2, -3, 30)) as a binary STL, an OBJ
    with the ball's normals at its vertices, and an ASCII PLY: their paths."""
    import math
    import struct
    segments, rings, radius, centre = 20, 12, 25.0, (2.0, -3.0, 30.0)
    f32 = lambda v: struct.unpack("<f", struct.pack("<f", v))[0]
    vertices, normals = [], []
    for r in range(rings + 1):
        for k in range(segments):
            t, p = math.pi * r / rings, 2 * math.pi * k / segments
            n = (math.sin(t) * math.cos(p), math.sin(t) * math.sin(p), math.cos(t))
            normals.append(n)
            vertices.append(tuple(f32(c + radius * v) for c, v in zip(centre, n)))
    at = lambda r, k: r * segments + k % segments
    triangles = []
    for r in range(rings):
        for k in range(segments):
            if r > 0:
                triangles.append((at(r, k), at(r + 1, k), at(r, k + 1)))
            if r + 1 < rings:
                triangles.append((at(r, k + 1), at(r + 1, k), at(r + 1, k + 1)))
    paths = {}
    paths["stl"] = os.path.join(folder, "palla.stl")
    with open(paths["stl"], "wb") as f:
        f.write(b"\0" * 80 + struct.pack("<I", len(triangles)))
        for t in triangles:
            f.write(struct.pack("<3f", 0, 0, 0) + b"".join(struct.pack("<3f", *vertices[i]) for i in t) + b"\0\0")
    paths["obj"] = os.path.join(folder, "palla.obj")
    with open(paths["obj"], "w") as f:
        f.writelines("v %r %r %r\n" % v for v in vertices)
        f.writelines("vn %r %r %r\n" % n for n in normals)
        f.writelines("f %d//%d %d//%d %d//%d\n" % sum(((i + 1, i + 1) for i in t), ()) for t in triangles)
    paths["ply"] = os.path.join(folder, "palla.ply")
    with open(paths["ply"], "w") as f:
        f.write("ply\nformat ascii 1.0\nelement vertex %d\nproperty float x\nproperty float y\nproperty float z\n"
                "element face %d\nproperty list uchar int vertex_indices\nend_header\n" % (len(vertices), len(triangles)))
        f.writelines("%r %r %r\n" % v for v in vertices)
        f.writelines("3 %d %d %d\n" % t for t in triangles)
    return paths


class SiteTest(unittest.TestCase):
    def setUp(self):
        self.downloads = tempfile.mkdtemp(prefix="site-downloads-")
        self.addCleanup(shutil.rmtree, self.downloads, True)
        options = webdriver.ChromeOptions()
        for a in ["--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--window-size=1400,1000"]:
            options.add_argument(a)
        options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
        service = Service(executable_path=shutil.which("chromedriver") or "/usr/bin/chromedriver")
        self.driver = webdriver.Chrome(options=options, service=service)
        self.addCleanup(self.driver.quit)
        self.driver.execute_cdp_cmd("Page.setDownloadBehavior", {"behavior": "allow", "downloadPath": self.downloads})

    def serve(self):
        """The site as `anamorfosi serve` serves it, its files compiled into the program: the same
        bytes as the site's folder."""
        server = subprocess.Popen([BINARY, "serve", "--port", "0"], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                  text=True)

        def stop():
            server.send_signal(signal.SIGTERM)
            self.assertEqual(server.wait(timeout=20), 0)
            server.stdout.close()
            server.stderr.close()
        self.addCleanup(stop)
        m = re.search(r"http://127\.0\.0\.1:\d+/", server.stdout.readline())
        self.assertTrue(m, "no address from anamorfosi serve")
        url = m.group(0)
        for name in sorted(os.listdir(SITE)):
            with urllib.request.urlopen(url + name) as r, open(os.path.join(SITE, name), "rb") as f:
                self.assertEqual(r.read(), f.read(), name)
        return url

    def shot(self, name):
        os.makedirs(SHOTS, exist_ok=True)
        self.driver.save_screenshot(os.path.join(SHOTS, name))

    def status(self):
        return self.driver.find_element(By.ID, "status").text

    def wait_ready(self, timeout=180):
        status = WebDriverWait(self.driver, timeout).until(
            lambda d: (s := self.status()).startswith(("Ready", "Made, but")) and s)
        self.assertTrue(status.startswith("Ready"), status)

    def made(self):
        """How many prints the page has made (previews and full prints)."""
        return int(self.driver.find_element(By.ID, "status").get_attribute("data-made") or 0)

    def wait_made(self, before, timeout=300):
        """A print made after the first before ones, then the page ready: the
        status still reads "Ready" from the last print until a change is taken up."""
        WebDriverWait(self.driver, timeout).until(lambda _: self.made() > before)
        self.wait_ready(timeout)

    def choose_mirror(self, kind):
        self.driver.execute_script("const m = document.getElementById('mirror'); m.value = arguments[0];"
                                   "m.dispatchEvent(new Event('change', {bubbles: true}))", kind)

    def wait_refused(self, timeout=60):
        WebDriverWait(self.driver, timeout).until(lambda d: self.status().startswith("This set-up cannot work"))

    def set_value(self, field, value):
        e = self.driver.find_element(By.ID, field)
        e.clear()
        e.send_keys(str(value))

    def put_value(self, field, value):
        """The field's new value in one step, told by one input event (as a paste)."""
        self.driver.execute_script("const e = document.getElementById(arguments[0]); e.value = arguments[1];"
                                   "e.dispatchEvent(new Event('input', {bubbles: true}))", field, str(value))

    def error_for(self, field):
        return self.driver.find_element(By.CSS_SELECTOR, '.error[data-for="%s"]' % field).text

    def download(self, button, name, timeout=60):
        self.driver.find_element(By.ID, button).click()
        path = os.path.join(self.downloads, name)
        WebDriverWait(self.driver, timeout).until(lambda _: os.path.exists(path) and os.path.getsize(path) > 0,
                                                  "no %s; the page says: %s" % (name, self.status()))
        time.sleep(0.5)
        return path

    def png_facts(self, path):
        cells = path + ".rgb"
        out = subprocess.run(["node", os.path.join(HERE, "png_facts.mjs"), NODE_MODULES, path, cells],
                             check=True, capture_output=True, text=True).stdout
        with open(cells, "rb") as f:
            return json.loads(out), f.read()

    def the_commands_print(self):
        work = tempfile.mkdtemp(prefix="site-command-")
        self.addCleanup(shutil.rmtree, work, True)
        shutil.copy(os.path.join(EXAMPLES, "cartello.ppm"), work)
        subprocess.run([BINARY, "cilindro", "cartello.ppm", "--radius", "25", "--fit", "A4", "-o", "n.png", "--quiet"], cwd=work,
                       check=True)
        return self.png_facts(os.path.join(work, "n.png"))

    def make_card_print(self, url, shot):
        d = self.driver
        d.get(url)
        self.wait_ready()
        self.assertEqual(d.find_element(By.ID, "mirror").get_attribute("value"), "cilindro")
        self.assertEqual(d.find_element(By.ID, "radius").get_attribute("value"), "25")
        # The preview: the print of the same scene with as many cells as the screen shows.
        self.assertEqual(d.find_element(By.ID, "print").get_attribute("data-quality"), "quick")
        self.assertRegex(d.find_element(By.ID, "fidelity").text,
                         r"^Preview, \d+ x \d+ cells: fidelity: \d+\.\d% within 8 levels, PSNR")
        self.assertEqual(d.find_element(By.ID, "fidelity_warning").text, "")
        # The view from the eye is drawn: not one plain colour.
        colours = d.execute_script("""
            const c = document.getElementById('view'), g = c.getContext('2d');
            const p = g.getImageData(0, 0, c.width, c.height).data, seen = new Set();
            for (let i = 0; i < p.length; i += 4 * 97) seen.add(p[i] << 16 | p[i + 1] << 8 | p[i + 2]);
            return seen.size;""")
        self.assertGreater(colours, 20)
        self.shot(shot)

    def test_loopback_card_cylinder_png_is_the_commands(self):
        self.make_card_print(self.serve(), "site-1-loopback.png")
        facts, cells = self.png_facts(self.download("get_png", "anamorfosi.png"))
        native, native_cells = self.the_commands_print()
        self.assertEqual((facts["width"], facts["height"], facts["channels"], facts["depth"]),
                         (native["width"], native["height"], 3, 8))
        # pHYs: the print's cells per metre, as the command writes it (300 dpi: 11811).
        self.assertEqual(facts["resolution"], native["resolution"])
        self.assertEqual(facts["resolution"]["x"], 11811)
        # The print downloaded was scored for itself, not only its preview.
        self.assertRegex(self.driver.find_element(By.ID, "fidelity").text,
                         r"^The print downloaded, %d x %d cells: fidelity: \d+\.\d%% within 8 levels" %
                         (native["width"], native["height"]))
        self.assertEqual(self.status(), 'Downloaded anamorfosi.png: print it at 100 % ("actual size").')
        self.assertEqual(facts["text"]["Software"], native["text"]["Software"])
        self.assertEqual(facts["text"]["Comment"], native["text"]["Comment"])
        scene, native_scene = json.loads(facts["text"]["Scene"]), json.loads(native["text"]["Scene"])
        self.assertEqual(scene["mirror"], native_scene["mirror"])
        self.assertEqual(scene["picture"], "cartello.ppm")
        differ = sum(1 for i in range(0, len(cells), 3) if cells[i:i + 3] != native_cells[i:i + 3])
        if COMPARE == "exact":
            # The same arithmetic in double: the same cells and the same scene.
            self.assertEqual(differ, 0)
            self.assertEqual(facts["text"]["Scene"], native["text"]["Scene"])
        else:
            # Against long double, as site/tests/engine_test.mjs documents: at most 0.2 % of the cells.
            self.assertLessEqual(differ, 0.002 * facts["width"] * facts["height"])
        # The scene file is the PNG's scene.
        with open(self.download("get_scene", "anamorfosi.json")) as f:
            self.assertEqual(f.read(), facts["text"]["Scene"])

    def test_pdf_has_the_commands_pages(self):
        """The PDF drawn in the browser from the engine's layout: the command's pages for the same print."""
        self.make_card_print(self.serve(), "site-5-pdf.png")
        self.driver.find_element(By.ID, "paper").send_keys("A4")
        # Laid out by the engine, drawn by jsPDF with its fonts: slower than the PNG on a loaded machine.
        pdf = self.download("get_pdf", "anamorfosi.pdf", 180)
        self.assertIn("anamorfosi.pdf (", self.status())
        work = tempfile.mkdtemp(prefix="site-pdf-")
        self.addCleanup(shutil.rmtree, work, True)
        shutil.copy(os.path.join(EXAMPLES, "cartello.ppm"), work)
        subprocess.run([BINARY, "cilindro", "cartello.ppm", "--radius", "25", "--fit", "A4", "-o", "n.pdf",
                        "--quiet"], cwd=work, check=True)
        native = os.path.join(work, "n.pdf")
        sizes = lambda f: [l.split(":", 1)[1].split("pts")[0].split() for l in subprocess.run(
            ["pdfinfo", "-f", "1", "-l", "99", f], check=True, capture_output=True, text=True).stdout.splitlines()
            if l.startswith("Page") and "size:" in l]
        self.assertEqual(len(sizes(pdf)), len(sizes(native)))
        for mine, theirs in zip(sizes(pdf), sizes(native)):
            self.assertAlmostEqual(float(mine[0]), float(theirs[0]), delta=0.01)
            self.assertAlmostEqual(float(mine[2]), float(theirs[2]), delta=0.01)
        # Each page rendered at 30 dpi: the cells, lines and text where the
        # command's are. Text and thin lines antialias differently in the two
        # writers; a page whose cells or footprint were misplaced by a
        # millimetre differs by far more than 6 levels on average.
        for name, f in (("mine", pdf), ("theirs", native)):
            subprocess.run(["pdftoppm", "-r", "30", f, os.path.join(work, name)], check=True)
        pages = sorted(n for n in os.listdir(work) if n.startswith("mine") and n.endswith(".ppm"))
        self.assertEqual(len(pages), len(sizes(native)))
        for page in pages:
            a, b = read_ppm(os.path.join(work, page)), read_ppm(os.path.join(work, "theirs" + page[4:]))
            self.assertEqual(a[:2], b[:2])
            mean = sum(abs(x - y) for x, y in zip(a[2], b[2])) / len(a[2])
            self.assertLess(mean, 6, page)

    def test_double_clicked_index_html_works_without_a_server(self):
        self.make_card_print("file://" + os.path.join(SITE, "index.html"), "site-2-file.png")
        # The PDF's fonts are not in app.js: pdf_fonts.js comes only when a PDF is asked for, by a
        # script tag, which loads from file:// where fetch is refused.
        with open(os.path.join(SITE, "pdf_fonts.js")) as f:
            fonts = f.read()
        with open(os.path.join(SITE, "app.js")) as f:
            self.assertNotIn(fonts[20000:20100], f.read())
        loaded = "return window.anamorfosiPdfFonts !== undefined"
        self.assertFalse(self.driver.execute_script(loaded))
        with open(self.download("get_pdf", "anamorfosi.pdf", 180), "rb") as f:
            self.assertEqual(f.read(5), b"%PDF-")
        self.assertTrue(self.driver.execute_script(loaded))
        # A change of a value makes a new print; the same values again make none.
        self.assertEqual(self.made(), 1)
        self.set_value("radius", 30)
        # The status reads "Ready" until the change is taken up: the new print is the second one made.
        WebDriverWait(self.driver, 180).until(lambda _: self.made() == 2)
        self.wait_ready()
        self.assertIn("radius 30 mm", self.driver.find_element(By.ID, "report").text)
        self.assertEqual(self.made(), 2)
        self.driver.execute_script("document.getElementById('dpi').dispatchEvent(new Event('change', {bubbles: true}))")
        time.sleep(2)
        self.assertTrue(self.status().startswith("Ready"), self.status())
        self.assertEqual(self.made(), 2)

    def test_twelve_megapixel_photo_turned_by_its_exif_tag(self):
        work = tempfile.mkdtemp(prefix="site-photo-")
        self.addCleanup(shutil.rmtree, work, True)
        photo = os.path.join(work, "photo.jpg")
        # 4000 x 3000 as stored, to be turned a quarter clockwise (6): 3000 x 4000 upright.
        subprocess.run([PHOTO, photo, "4000", "3000", "6"], check=True)
        d = self.driver
        d.get(self.serve())
        self.wait_ready()
        d.find_element(By.ID, "picture_input").send_keys(photo)
        # The quick preview of the reduced picture comes before the full print.
        WebDriverWait(d, 120).until(lambda _: d.find_element(By.ID, "print").get_attribute("data-quality") == "quick")
        self.wait_ready(timeout=600)
        self.assertIn("3000 x 4000 pixels", d.find_element(By.ID, "picture_name").text)
        self.shot("site-4-photo.png")
        # The print's cells are the command's for the same photo, which turns it by the same tag.
        report = d.find_element(By.ID, "report").text
        out = subprocess.run([BINARY, "cilindro", photo, "--radius", "25", "--fit", "A4", "-o", os.path.join(work, "n.png")],
                             check=True, capture_output=True, text=True).stdout
        cells = [l.split(",")[0] for l in out.splitlines() if l.startswith("print: ")]
        self.assertEqual(len(cells), 1, out)
        self.assertIn(cells[0] + ",", report)

        # A change while the full print is under way ends that print: its
        # preview comes next, and the ended print never answers.
        answers = lambda: int(d.find_element(By.ID, "status").get_attribute("data-answers"))
        before = answers()
        self.put_value("radius", 30)
        WebDriverWait(d, 120).until(lambda _: answers() == before + 1)
        self.assertEqual(d.find_element(By.ID, "print").get_attribute("data-quality"), "quick")
        self.put_value("radius", 35)
        self.wait_ready(timeout=600)
        self.assertIn("radius 35 mm", d.find_element(By.ID, "report").text)
        # 30's preview, then 35's preview and, for the download, 35's full print.
        self.download("get_png", "anamorfosi.png", 600)
        self.assertEqual(answers(), before + 3)

    def the_commands_print_of_the_scene(self, scene_text, mirror_file=None):
        """The command's print of the page's scene (its scene file, the eye and
        the face as the page placed them), its mirror file on disk."""
        work = tempfile.mkdtemp(prefix="site-scene-")
        self.addCleanup(shutil.rmtree, work, True)
        shutil.copy(os.path.join(EXAMPLES, "cartello.ppm"), work)
        scene = json.loads(scene_text)
        # The window is the page's, computed in double: the command settles its own.
        scene.pop("window", None)
        if mirror_file:
            scene["mirror"]["file"] = mirror_file
        with open(os.path.join(work, "scena.json"), "w") as f:
            json.dump(scene, f)
        subprocess.run([BINARY, "run", "scena.json", "-o", "n.png", "--quiet"], cwd=work, check=True)
        return self.png_facts(os.path.join(work, "n.png"))

    def kind_print_is_the_commands(self, kind, shot, numbers=(), mirror_file=None, flags=(), face_file=None):
        """The page's print of the test card for a mirror kind, its PNG's cells
        against the command's print of the same scene. At 100 dpi: the cells
        are computed alike at any density, and a ninth of the 300 dpi ones
        keeps each comparison of a mesh's print to seconds."""
        d = self.driver
        d.get(self.serve())
        self.wait_ready()
        before = self.made()
        self.choose_mirror(kind)
        self.put_value("dpi", 100)
        for field, value in numbers:
            self.put_value(field, value)
        for field in flags:
            d.find_element(By.ID, field).click()
        if mirror_file:
            d.find_element(By.ID, "mirror_file_input").send_keys(mirror_file)
        if face_file:
            d.find_element(By.ID, "face_file_input").send_keys(face_file)
        WebDriverWait(d, 300).until(lambda _: self.made() > before or self.status().startswith("This set-up"))
        self.wait_ready(timeout=300)
        self.shot(shot)
        facts, cells = self.png_facts(self.download("get_png", "anamorfosi.png"))
        native, native_cells = self.the_commands_print_of_the_scene(facts["text"]["Scene"], mirror_file)
        self.assertEqual((facts["width"], facts["height"]), (native["width"], native["height"]))
        differ = sum(1 for i in range(0, len(cells), 3) if cells[i:i + 3] != native_cells[i:i + 3])
        if COMPARE == "exact":
            self.assertEqual(differ, 0)
        else:
            # Against long double, as site/tests/engine_test.mjs documents: at most 0.2 % of the cells.
            self.assertLessEqual(differ, 0.002 * facts["width"] * facts["height"])
        return d.find_element(By.ID, "report").text

    def test_a_wrong_print_is_called_wrong_at_its_download(self):
        """The faceted cone round the eye's axis, in the general mode, folds the picture: the print
        downloaded is scored for itself and called wrong, in red beside the preview; the vertical mode mends it."""
        d = self.driver
        d.get(self.serve())
        self.wait_ready()
        self.choose_mirror("generico")
        for field, value in (("eye_x", 0), ("eye_y", 0), ("eye_z", 400)):
            self.put_value(field, value)
        # No face of this cone fits one sheet: the print is tiled.
        d.find_element(By.ID, "fit").click()
        before = self.made()
        d.find_element(By.ID, "mirror_file_input").send_keys(os.path.join(EXAMPLES, "generico", "cono.dxf"))
        WebDriverWait(d, 300).until(lambda _: self.made() > before)
        d.find_element(By.ID, "get_png").click()
        WebDriverWait(d, 300).until(lambda _: self.status().startswith("Downloaded"))
        self.assertEqual(self.status(), "Downloaded, but the print is wrong: see the warning in red beside the preview.")
        self.assertRegex(d.find_element(By.ID, "fidelity").text, r"^The print downloaded, \d+ x \d+ cells: fidelity")
        warning = d.find_element(By.ID, "fidelity_warning")
        self.assertIn("the print is not faithful", warning.text)
        self.assertEqual(warning.value_of_css_property("color"), "rgba(187, 0, 0, 1)")
        self.shot("site-12-wrong-print.png")
        before = self.made()
        d.find_element(By.ID, "vertical_axis").click()
        WebDriverWait(d, 300).until(lambda _: self.made() > before)
        d.find_element(By.ID, "get_png").click()
        WebDriverWait(d, 300).until(lambda _: self.status().startswith("Downloaded"))
        self.assertEqual(self.status(), 'Downloaded anamorfosi.png: print it at 100 % ("actual size").')
        self.assertEqual(d.find_element(By.ID, "fidelity_warning").text, "")

    def test_each_mirror_kind_prints_as_the_command(self):
        """The cone, the sphere, the plane mirror of a DXF: each print the command's."""
        self.kind_print_is_the_commands("cono", "site-6-cone.png", (("radius", 30), ("height", 50)))
        self.kind_print_is_the_commands("sfera", "site-7-sphere.png", (("radius", 30),))
        self.kind_print_is_the_commands("specchio", "site-8-plane.png",
                                        mirror_file=os.path.join(EXAMPLES, "specchio", "specchio.dxf"))

    def test_face_given_as_a_dxf_file(self):
        """The plane mirror's picture face from its DXF, as the command's --face: the face the print carries."""
        face = os.path.join(EXAMPLES, "specchio", "faccia.dxf")
        report = self.kind_print_is_the_commands("specchio", "site-11-face-file.png", face_file=face,
                                                 mirror_file=os.path.join(EXAMPLES, "specchio", "specchio.dxf"))
        self.assertIn("faccia.dxf", self.driver.find_element(By.ID, "face_file_name").text)
        facts, _ = self.png_facts(os.path.join(self.downloads, "anamorfosi.png"))
        # The face's corners as the DXF's last 3DFACE gives them, not the automatic face's.
        subprocess.run([BINARY, "specchio", os.path.join(EXAMPLES, "cartello.ppm"), "--mirror",
                              os.path.join(EXAMPLES, "specchio", "specchio.dxf"), "--face", face, "--units", "mm",
                              "--save-scene", os.path.join(self.downloads, "native.json"), "-o",
                              os.path.join(self.downloads, "native.png"), "--quiet"], check=True)
        with open(os.path.join(self.downloads, "native.json")) as f:
            self.assertEqual(json.loads(facts["text"]["Scene"])["face"], json.load(f)["face"])
        self.assertNotIn("no picture face", report)

    def test_mesh_mirrors_stl_obj_ply_and_smooth_print_as_the_command(self):
        work = tempfile.mkdtemp(prefix="site-mesh-")
        self.addCleanup(shutil.rmtree, work, True)
        balls = ball_files(work)
        for n, form in enumerate(("stl", "obj", "ply")):
            report = self.kind_print_is_the_commands("generico", "site-9-mesh-%s.png" % form, mirror_file=balls[form])
            self.assertIn("mesh mirror, 440 triangles", report)
        report = self.kind_print_is_the_commands("generico", "site-9-mesh-smooth.png", mirror_file=balls["obj"],
                                                 flags=("smooth",))
        self.assertIn("440 triangles, smooth (crease 60 degrees)", report)

    def test_bad_mesh_is_refused_beside_its_field(self):
        work = tempfile.mkdtemp(prefix="site-bad-mesh-")
        self.addCleanup(shutil.rmtree, work, True)
        bad = os.path.join(work, "rotto.stl")
        with open(bad, "w") as f:
            f.write("solid rotto\nfacet normal 0 0 1\nouter loop\nvertex 1 2\n")
        d = self.driver
        # From a double-clicked index.html: the mesh reader loads from file:// too.
        d.get("file://" + os.path.join(SITE, "index.html"))
        self.wait_ready()
        self.choose_mirror("generico")
        d.find_element(By.ID, "mirror_file_input").send_keys(bad)
        WebDriverWait(d, 120).until(lambda _: "rotto.stl" in self.error_for("mirror_file"))
        self.assertIn("rotto.stl: not a readable STL mesh", self.error_for("mirror_file"))
        self.assertEqual(self.status(), "That file cannot be used.")
        self.shot("site-10-bad-mesh.png")

    def photo_page(self):
        """The page served, with a 12-megapixel photo turned by its EXIF tag chosen and previewed."""
        work = tempfile.mkdtemp(prefix="site-photo-")
        self.addCleanup(shutil.rmtree, work, True)
        photo = os.path.join(work, "photo.jpg")
        subprocess.run([PHOTO, photo, "4000", "3000", "6"], check=True)
        d = self.driver
        d.get(self.serve())
        self.wait_ready()
        d.find_element(By.ID, "picture_input").send_keys(photo)
        WebDriverWait(d, 120).until(lambda _: "3000 x 4000" in d.find_element(By.ID, "picture_name").text)
        self.wait_ready(timeout=300)
        return d

    def answers(self):
        return int(self.driver.find_element(By.ID, "status").get_attribute("data-answers") or 0)

    def canvas_pixels(self, canvas):
        """The canvas's size and its pixels as a data URL, to tell one drawing from another."""
        return self.driver.execute_script(
            "const c = document.getElementById(arguments[0]); return [c.width, c.height, c.toDataURL()];", canvas)

    def test_preview_of_a_photo_follows_each_change_without_the_full_print(self):
        d = self.photo_page()
        before = self.answers()
        self.put_value("radius", 30)
        WebDriverWait(d, 120).until(lambda _: "radius 30 mm" in d.find_element(By.ID, "report").text)
        self.wait_ready()
        # One print answers the change, the preview: no full print is made until a download.
        time.sleep(1)
        self.assertEqual(self.answers(), before + 1)
        self.assertIsNone(d.find_element(By.ID, "status").get_attribute("data-full"))
        self.assertEqual(d.find_element(By.ID, "print").get_attribute("data-quality"), "quick")
        # The preview's cells as many as the screen shows (200 to 800 on the longer side).
        width, height, _ = self.canvas_pixels("print")
        self.assertTrue(200 <= max(width, height) <= 800, (width, height))
        # The download's size is told: the print line of the report, at 300 dpi, far more cells.
        line = [l for l in d.find_element(By.ID, "report").text.splitlines() if l.startswith("print: ")][0]
        cells = [int(v) for v in line.split()[1:4:2]]
        self.assertIn("%d x %d cells" % tuple(cells), self.status())
        self.assertGreater(max(cells), 2 * max(width, height))
        # A value typed key by key ends with its own preview.
        self.set_value("radius", 33)
        WebDriverWait(d, 120).until(lambda _: "radius 33 mm" in d.find_element(By.ID, "report").text)
        self.wait_ready()
        self.shot("site-6-photo-preview.png")

    def test_download_makes_the_full_print_once_with_its_progress(self):
        d = self.photo_page()
        # Every state of the progress bar, as the page sets it.
        d.execute_script("""
            const bar = document.getElementById('full_progress');
            window.barSeen = [];
            new MutationObserver(() => window.barSeen.push([bar.hidden, Number(bar.value), Number(bar.max)]))
              .observe(bar, {attributes: true});""")
        before = self.answers()
        line = [l for l in d.find_element(By.ID, "report").text.splitlines() if l.startswith("print: ")][0]
        d.find_element(By.ID, "get_png").click()
        WebDriverWait(d, 600, 0.05).until(
            lambda _: d.execute_script("return window.barSeen.some((s) => !s[0] && s[1] > 0)"))
        self.shot("site-7-full-print-progress.png")
        path = os.path.join(self.downloads, "anamorfosi.png")
        WebDriverWait(d, 600).until(lambda _: os.path.exists(path) and os.path.getsize(path) > 0, self.status())
        time.sleep(0.5)
        seen = d.execute_script("return window.barSeen")
        shown = [s for s in seen if not s[0] and s[1] > 0]
        # The bar advanced through the rows of the picture read, and is hidden once done.
        self.assertGreater(len(set(s[1] for s in shown)), 3, seen[:10])
        self.assertEqual([s[1] for s in shown], sorted(s[1] for s in shown))
        self.assertTrue(d.find_element(By.ID, "full_progress").get_attribute("hidden"))
        # The PNG is the full print the report told.
        facts, _ = self.png_facts(path)
        self.assertIn("%d x %d cells" % (facts["width"], facts["height"]), line)
        self.assertEqual(self.answers(), before + 1)
        self.assertEqual(d.find_element(By.ID, "status").get_attribute("data-full"), "1")
        # The PDF of the same values uses the print already made.
        self.download("get_pdf", "anamorfosi.pdf", 300)
        self.assertEqual(d.find_element(By.ID, "status").get_attribute("data-full"), "1")
        self.assertEqual(self.answers(), before + 1)

        # A change during the full print ends it: it never answers, and nothing is saved.
        os.remove(path)
        self.put_value("radius", 30)
        WebDriverWait(d, 120).until(lambda _: "radius 30 mm" in d.find_element(By.ID, "report").text)
        self.wait_ready()
        answered = self.answers()
        d.execute_script("window.barSeen = []")
        d.find_element(By.ID, "get_png").click()
        WebDriverWait(d, 600, 0.05).until(
            lambda _: d.execute_script("return window.barSeen.some((s) => !s[0] && s[1] > 0)"))
        self.put_value("radius", 31)
        WebDriverWait(d, 120).until(lambda _: "radius 31 mm" in d.find_element(By.ID, "report").text)
        self.wait_ready()
        time.sleep(2)
        self.assertEqual(self.answers(), answered + 1)  # 31's preview only
        self.assertFalse(os.path.exists(path))
        self.assertTrue(d.find_element(By.ID, "full_progress").get_attribute("hidden"))
        self.assertEqual(d.find_element(By.ID, "status").get_attribute("data-full"), "1")

    def test_closeup_and_the_eye_moved_by_hand(self):
        d = self.driver
        d.get(self.serve())
        self.wait_ready()
        view, closeup = self.canvas_pixels("view"), self.canvas_pixels("closeup")
        # The close-up of the mirror is drawn beside the view, at the size it is shown (smaller), and is not the view.
        shown = d.execute_script("return document.getElementById('closeup').clientWidth")
        self.assertEqual(closeup[0], max(160, shown))
        self.assertLess(closeup[0], view[0])
        self.assertNotEqual(closeup[2], view[2])
        colours = d.execute_script("""
            const c = document.getElementById('closeup'), p = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
            const seen = new Set();
            for (let i = 0; i < p.length; i += 4 * 97) seen.add(p[i] << 16 | p[i + 1] << 8 | p[i + 2]);
            return seen.size;""")
        self.assertGreater(colours, 20)
        back = d.find_element(By.ID, "eye_back")
        self.assertFalse(back.is_displayed())
        chosen = d.find_element(By.ID, "view").get_attribute("data-eye")

        # A drag across the view turns the eye round the mirror: another view, the way back offered.
        canvas = d.find_element(By.ID, "view")
        ActionChains(d).move_to_element(canvas).click_and_hold().move_by_offset(60, 0).move_by_offset(60, 0) \
            .release().perform()
        WebDriverWait(d, 60).until(lambda _: self.canvas_pixels("view")[2] != view[2])
        self.assertTrue(back.is_displayed())
        self.assertNotEqual(d.find_element(By.ID, "view").get_attribute("data-eye"), chosen)
        self.assertIn("(", d.find_element(By.ID, "eye_note").text)
        WebDriverWait(d, 60).until(lambda _: self.canvas_pixels("closeup")[2] != closeup[2])
        self.shot("site-8-eye-moved.png")
        # The arrow keys and the wheel move it too.
        for move in ("canvas.focus(); canvas.dispatchEvent(new KeyboardEvent('keydown', {key: 'ArrowUp', bubbles: true}))",
                     "canvas.dispatchEvent(new WheelEvent('wheel', {deltaY: 300, bubbles: true, cancelable: true}))"):
            was = self.canvas_pixels("view")[2]
            eye = d.find_element(By.ID, "view").get_attribute("data-eye")
            d.execute_script("const canvas = document.getElementById('view'); " + move)
            WebDriverWait(d, 60).until(lambda _: d.find_element(By.ID, "view").get_attribute("data-eye") != eye)
            WebDriverWait(d, 60).until(lambda _: self.canvas_pixels("view")[2] != was)
        # Back to the eye the print is made for: its view exactly as it was.
        back.click()
        WebDriverWait(d, 60).until(lambda _: self.canvas_pixels("view") == view)
        self.assertEqual(self.canvas_pixels("closeup"), closeup)
        self.assertFalse(back.is_displayed())
        self.assertEqual(d.find_element(By.ID, "eye_note").text, "")

    def test_refused_values_are_told_beside_their_fields(self):
        d = self.driver
        d.get(self.serve())
        self.wait_ready()
        self.set_value("radius", -5)
        self.wait_refused()
        # A field emptied on the way to its new value may be refused first, in its own words.
        WebDriverWait(d, 60).until(lambda _: self.error_for("radius") == "The can's radius must be more than 0 mm.")
        self.set_value("radius", 25)
        self.wait_ready()
        self.assertEqual(self.error_for("radius"), "")
        # An eye inside the cylinder, told beside the eye's fields.
        for field, value in (("eye_x", 0), ("eye_y", 0), ("eye_z", 10)):
            self.set_value(field, value)
        self.wait_refused()
        WebDriverWait(d, 60).until(lambda _: "inside" in self.error_for("eye"))
        self.shot("site-3-refused.png")

    def test_italian_by_the_switch_form_and_refusal(self):
        """The switch turns the whole page Italian: the form, the words beside it and a refusal."""
        d = self.driver
        d.get(self.serve())
        self.wait_ready()
        self.assertEqual(d.find_element(By.ID, "lang_en").get_attribute("aria-pressed"), "true")
        # The switch by keyboard, as a pupil without a mouse reaches it.
        d.find_element(By.ID, "lang_it").send_keys(" ")
        WebDriverWait(d, 10).until(lambda _: d.find_element(By.TAG_NAME, "h1").text ==
                                   "Crea una stampa per il tuo specchio")
        self.assertEqual(d.find_element(By.TAG_NAME, "html").get_attribute("lang"), "it")
        self.assertEqual(d.find_element(By.ID, "lang_it").get_attribute("aria-pressed"), "true")
        self.assertTrue(d.title.startswith("anamorfosi: crea una stampa"), d.title)
        legends = [e.text for e in d.find_elements(By.TAG_NAME, "legend")]
        self.assertEqual(legends, ["1. L'immagine", "2. Lo specchio", "3. L'occhio", "4. La stampa", "5. Scarica"])
        self.assertEqual(d.find_element(By.CSS_SELECTOR, '[data-field="radius"] .label').text,
                         "raggio della lattina (metà della sua larghezza)")
        self.assertEqual(d.find_element(By.CSS_SELECTOR, "#mirror option[value=cilindro]").get_attribute("textContent"),
                         "cilindro (una lattina)")
        self.assertEqual(d.find_element(By.ID, "get_pdf").text, "Scarica il PDF")
        self.assertTrue(self.status().startswith("Pronto: "), self.status())
        self.assertEqual(d.find_element(By.ID, "sheets").text, "La stampa sta in un foglio A4.")
        self.assertEqual(d.find_element(By.ID, "eye_words").text,
                         "Guarda da 30 cm davanti allo specchio, 25 cm sopra il foglio.")
        # No element of the page's own texts is left in English.
        left = d.execute_script("""
            return [...document.querySelectorAll('[data-t]')].filter((e) => e.offsetParent !== null &&
                /\\b(the|The|print|mirror|Download)\\b/.test(e.textContent)).map((e) => e.textContent);""")
        self.assertEqual(left, [])
        self.set_value("radius", -5)
        WebDriverWait(d, 60).until(lambda _: self.status().startswith("Così non può funzionare"))
        WebDriverWait(d, 60).until(
            lambda _: self.error_for("radius") == "La lattina: il raggio deve essere più di 0 mm.")
        # The last preview stays, greyed, with the reason.
        self.assertIn("stale", d.find_element(By.ID, "pictures").get_attribute("class"))
        self.assertIn("La lattina: il raggio", d.find_element(By.ID, "stale").text)
        self.shot("site-6-italian-refused.png")
        # Back in English, the same refusal in English.
        d.find_element(By.ID, "lang_en").click()
        self.assertEqual(self.error_for("radius"), "The can's radius must be more than 0 mm.")
        self.assertTrue(self.status().startswith("This set-up cannot work"), self.status())

    def test_fit_sheets_and_where_to_look(self):
        """One sheet by default; without fit, the sheets the command's PDF has; the eye and the mirror's place in words."""
        d = self.driver
        d.get(self.serve())
        self.wait_ready()
        self.assertTrue(d.find_element(By.ID, "fit").is_selected())
        self.assertEqual(d.find_element(By.ID, "sheets").text, "The print fits on one A4 sheet.")
        # The usual eye of a cylinder of radius 25: 12 radii in front, 10 radii up.
        self.assertEqual(d.find_element(By.ID, "eye_words").text,
                         "Look from 30 cm in front of the mirror, 25 cm above the sheet.")
        self.assertEqual(d.find_element(By.ID, "placement").text,
                         "Stand the mirror on the circle; look from 30 cm in front, 25 cm up, along the arrow.")
        self.assertIn("fit: fill ", d.find_element(By.ID, "report").text)
        # Without fit a larger can makes a print of several sheets: as many as the command's PDF tiles.
        d.find_element(By.ID, "fit").click()
        self.put_value("radius", 60)
        WebDriverWait(d, 300).until(lambda _: "radius 60 mm" in d.find_element(By.ID, "report").text and
                                    "fit: fill" not in d.find_element(By.ID, "report").text)
        self.wait_ready(300)
        work = tempfile.mkdtemp(prefix="site-sheets-")
        self.addCleanup(shutil.rmtree, work, True)
        shutil.copy(os.path.join(EXAMPLES, "cartello.ppm"), work)
        subprocess.run([BINARY, "cilindro", "cartello.ppm", "--radius", "60", "--paper", "A4", "-o", "n.pdf",
                        "--quiet"], cwd=work, check=True)
        info = subprocess.run(["pdfinfo", os.path.join(work, "n.pdf")], check=True, capture_output=True,
                              text=True).stdout
        pages = int([l.split()[1] for l in info.splitlines() if l.startswith("Pages:")][0])
        self.assertGreater(pages, 1)
        self.assertEqual(d.find_element(By.ID, "sheets").text,
                         "The print needs %d A4 sheets, and a page showing how to join them." % (pages - 1))
        # The command's PDF says where to stand and look from, as the page does.
        text = subprocess.run(["pdftotext", os.path.join(work, "n.pdf"), "-"], check=True, capture_output=True,
                              text=True).stdout
        self.assertIn("Stand the mirror on the circle;", text)
        self.assertIn("look from 72 cm in front, 60 cm up, along the arrow.", text)
        self.assertEqual(d.find_element(By.ID, "placement").text,
                         "Stand the mirror on the circle; look from 72 cm in front, 60 cm up, along the arrow.")
        # Another paper without fit: the same print, its sheets told again.
        before = self.made()
        d.find_element(By.ID, "paper").send_keys("A2")
        WebDriverWait(d, 10).until(lambda _: "A2" in d.find_element(By.ID, "sheets").text)
        time.sleep(1)
        self.assertEqual(self.made(), before)
        # With fit, the paper chosen makes the print that fits it.
        d.find_element(By.ID, "fit").click()
        WebDriverWait(d, 300).until(lambda _: self.made() == before + 1)
        self.wait_ready(300)
        self.assertIn("one A2 sheet", d.find_element(By.ID, "report").text)
        self.assertEqual(d.find_element(By.ID, "sheets").text, "The print fits on one A2 sheet.")

    def test_phone_360_wide_usable_by_keyboard_and_readable(self):
        """A 360 x 740 screen: no sideways scroll, the form and the preview usable; focus seen; contrast 4.5:1."""
        d = self.driver
        d.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                          {"width": 360, "height": 740, "deviceScaleFactor": 2, "mobile": True})
        d.get(self.serve())
        self.wait_ready()
        facts = d.execute_script("""
            const wide = [...document.querySelectorAll('input, select, button, canvas, label, p, legend')]
              .filter((e) => e.offsetParent !== null && e.getBoundingClientRect().right > window.innerWidth + 0.5)
              .map((e) => e.id || e.tagName);
            return {scroll: document.documentElement.scrollWidth, inner: window.innerWidth, wide,
                    print: document.getElementById('print').getBoundingClientRect().width};""")
        self.assertEqual(facts["inner"], 360)
        self.assertLessEqual(facts["scroll"], 360, facts)
        self.assertEqual(facts["wide"], [])
        self.assertGreater(facts["print"], 250)
        # Every field has a label a screen reader gives it; the pictures say what they are; the status is live.
        unlabelled = d.execute_script("""
            return [...document.querySelectorAll('input, select, canvas')].filter((e) =>
              e.offsetParent !== null && !(e.labels && e.labels.length) && !e.getAttribute('aria-label'))
              .map((e) => e.id);""")
        self.assertEqual(unlabelled, [])
        self.assertEqual(d.find_element(By.ID, "status").get_attribute("aria-live"), "polite")
        # Text against its background, at least 4.5:1 wherever a text shows.
        low = d.execute_script("""
            const lin = (c) => { c /= 255; return c <= 0.03928 ? c / 12.92 : ((c + 0.055) / 1.055) ** 2.4; };
            const rgb = (s) => (s.match(/[\\d.]+/g) || []).map(Number);
            const lum = ([r, g, b]) => 0.2126 * lin(r) + 0.7152 * lin(g) + 0.0722 * lin(b);
            const back = (e) => {
              for (; e; e = e.parentElement) {
                const c = rgb(getComputedStyle(e).backgroundColor);
                if (c.length === 3 || (c.length === 4 && c[3] > 0)) return c.slice(0, 3);
              }
              return [255, 255, 255];
            };
            const out = [];
            for (const e of document.querySelectorAll('body *')) {
              if (e.offsetParent === null || e.disabled || e.closest(':disabled')) continue;
              if (![...e.childNodes].some((n) => n.nodeType === 3 && n.textContent.trim())) continue;
              const a = lum(rgb(getComputedStyle(e).color)), b = lum(back(e));
              const ratio = (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05);
              if (ratio < 4.5) out.push((e.id || e.tagName) + ' ' + ratio.toFixed(2));
            }
            return out;""")
        self.assertEqual(low, [])
        # By keyboard alone: Tab reaches the radius and the focus shows.
        for _ in range(40):
            ActionChains(d).send_keys(Keys.TAB).perform()
            if d.switch_to.active_element.get_attribute("id") == "radius":
                break
        self.assertEqual(d.switch_to.active_element.get_attribute("id"), "radius")
        self.assertNotEqual(d.execute_script("return getComputedStyle(document.activeElement).outlineStyle"), "none")
        self.shot("site-7-phone-360.png")
        # The value typed there makes the new print, shown on the phone too.
        ActionChains(d).send_keys(Keys.BACKSPACE, Keys.BACKSPACE, "30").perform()
        WebDriverWait(d, 300).until(lambda _: "radius 30 mm" in d.find_element(By.ID, "report").text)


    def pdf_image(self, pdf, page, work, name):
        """The first image drawn on a page of a PDF, as its writer stored it: width, height, RGB."""
        subprocess.run(["pdfimages", "-f", str(page), "-l", str(page), pdf, os.path.join(work, name)], check=True)
        images = sorted(n for n in os.listdir(work) if n.startswith(name + "-") and n.endswith(".ppm"))
        self.assertTrue(images, "no image on page %d of %s" % (page, pdf))
        return read_ppm(os.path.join(work, images[0]))

    def test_numbered_grid_to_draw_by_hand(self):
        """A grid of 8 x 6 labelled cells, laid out by the engine and drawn by the page, printed on the cylinder:
        its PNG and PDF against the command's --grid 8x6 for the same scene."""
        d = self.driver
        d.get(self.serve())
        self.wait_ready()
        before = self.made()
        # Chosen from the keyboard: the third choice of the picture, then its fields.
        self.assertFalse(d.find_element(By.ID, "grid_columns").is_displayed())
        d.find_element(By.CSS_SELECTOR, "input[name=source][value=card]").send_keys(Keys.ARROW_DOWN, Keys.ARROW_DOWN)
        self.assertEqual(d.switch_to.active_element.get_attribute("id"), "source_grid")
        self.wait_made(before, 180)
        self.assertTrue(d.find_element(By.ID, "grid_columns").is_displayed())
        self.assertEqual(d.find_element(By.ID, "grid_columns").get_attribute("value"), "8")
        self.assertEqual(d.find_element(By.ID, "grid_rows").get_attribute("value"), "6")
        self.assertIn("grid: 8x6 cells to draw by hand", d.find_element(By.ID, "report").text)
        self.assertRegex(d.find_element(By.ID, "fidelity").text, r"^Preview, \d+ x \d+ cells: fidelity: ")
        self.shot("site-grid-preview.png")

        # The PNG: its scene says the grid, and its cells are the command's print of the grid.
        facts, cells = self.png_facts(self.download("get_png", "anamorfosi.png", 180))
        scene = json.loads(facts["text"]["Scene"])
        self.assertEqual(scene["grid"], "8x6")
        self.assertNotIn("picture", scene)
        work = tempfile.mkdtemp(prefix="site-grid-")
        self.addCleanup(shutil.rmtree, work, True)
        for out in ("n.png", "n.pdf"):
            subprocess.run([BINARY, "cilindro", "--grid", "8x6", "--radius", "25", "--fit", "A4", "-o", out, "--quiet"],
                           cwd=work, check=True)
        native, native_cells = self.png_facts(os.path.join(work, "n.png"))
        self.assertEqual((facts["width"], facts["height"]), (native["width"], native["height"]))
        self.assertEqual(json.loads(native["text"]["Scene"])["grid"], "8x6")
        # Only the labels' glyphs differ: cairo and Chromium antialias the
        # same outlines differently (Chromium's a little lighter), by up to a
        # pixel at the edges of each stroke. In the plain 8 x 6 grid the labels'
        # ink is 18 % of the pixels and 7 % differ by more than 32 levels
        # (measured); the print shows the grid on part of its sheet, where
        # 1.9 % of the cells differ by that much (measured). At most 3 % may:
        # labels drawn 2 pixels lower give 4.2 % (measured), another size or
        # a grid of another shape more; the lines, the paper and the marks,
        # drawn alike, leave the rest the same.
        far = sum(1 for i in range(0, len(cells), 3)
                  if max(abs(cells[i + k] - native_cells[i + k]) for k in range(3)) > 32)
        print("grid print: %d of %d cells differ by more than 32 levels" % (far, len(cells) // 3))
        self.assertLess(far, 0.03 * facts["width"] * facts["height"])
        same = sum(1 for i in range(0, len(cells), 3) if cells[i:i + 3] == native_cells[i:i + 3])
        print("grid print: %d cells the same" % same)
        self.assertGreater(same, 0.85 * facts["width"] * facts["height"])

        # The PDF: the plain grid first, on a page of its own, as the command's.
        pdf = self.download("get_pdf", "anamorfosi.pdf", 180)
        native_pdf = os.path.join(work, "n.pdf")
        pages = lambda f: int(re.search(r"^Pages:\s+(\d+)", subprocess.run(
            ["pdfinfo", f], check=True, capture_output=True, text=True).stdout, re.M).group(1))
        self.assertEqual(pages(pdf), pages(native_pdf))
        mine, theirs = self.pdf_image(pdf, 1, work, "mine"), self.pdf_image(native_pdf, 1, work, "theirs")
        self.assertEqual(mine[:2], (8 * 48, 6 * 48))
        self.assertEqual(mine[:2], theirs[:2])
        width, height = mine[:2]
        # Its lines and paper pixel for pixel; the labels (blue ink, the only
        # colour that is not grey) in the same places and at the same size:
        # each cell's ink, down to its faintest pixel, within a pixel of
        # cairo's on every side (a label one step of the size rule larger or
        # smaller, 3 %, moves its edges by a pixel on each side), and about
        # as much of it. Chromium antialiases the same outlines a little
        # lighter than cairo (94 % of cairo's ink, measured), so an edge
        # that is a faint pixel in one may be none in the other.
        grey = lambda p, i: p[i] == p[i + 1] == p[i + 2]
        lines = [i for i in range(0, width * height * 3, 3) if grey(theirs[2], i) and theirs[2][i] < 255]
        self.assertGreater(len(lines), (9 * 6 + 7 * 8) * 48)
        self.assertEqual([i for i in lines if mine[2][i:i + 3] != theirs[2][i:i + 3]], [])
        paper = sum(1 for i in range(0, width * height * 3, 3) if grey(mine[2], i) and grey(theirs[2], i)
                    and mine[2][i:i + 3] != theirs[2][i:i + 3])
        self.assertEqual(paper, 0)

        def ink_boxes(p):
            boxes = {}
            for y in range(height):
                for x in range(width):
                    i = (y * width + x) * 3
                    if p[i + 2] - p[i] > 10:
                        b = boxes.setdefault((x // 48, y // 48), [x, y, x, y])
                        b[0], b[1], b[2], b[3] = min(b[0], x), min(b[1], y), max(b[2], x), max(b[3], y)
            return boxes
        boxes, native_boxes = ink_boxes(mine[2]), ink_boxes(theirs[2])
        self.assertEqual(sorted(boxes), sorted(native_boxes))
        self.assertEqual(len(boxes), 48)
        worst = max(abs(a - b) for cell in boxes for a, b in zip(boxes[cell], native_boxes[cell]))
        print("grid labels: ink boxes within %d pixels of cairo's" % worst)
        self.assertLessEqual(worst, 1)
        ink = lambda p: sum(255 - p[i] for i in range(0, len(p), 3) if p[i + 2] > p[i])
        self.assertAlmostEqual(ink(mine[2]) / ink(theirs[2]), 1, delta=0.12)
        # Page 1 as a reader sees it (pdftoppm at 30 dpi): the command's first page.
        for name, f in (("page-mine", pdf), ("page-theirs", native_pdf)):
            subprocess.run(["pdftoppm", "-r", "30", "-f", "1", "-l", "1", f, os.path.join(work, name)], check=True)
        a = read_ppm(os.path.join(work, [n for n in os.listdir(work) if n.startswith("page-mine")][0]))
        b = read_ppm(os.path.join(work, [n for n in os.listdir(work) if n.startswith("page-theirs")][0]))
        self.assertEqual(a[:2], b[:2])
        self.assertLess(sum(abs(x - y) for x, y in zip(a[2], b[2])) / len(a[2]), 6)

    def test_grid_sizes_refused_beside_their_fields(self):
        """Columns and rows outside 1 to 200 refused in plain words, in English and Italian, the field marked."""
        d = self.driver
        d.get(self.serve())
        self.wait_ready()
        before = self.made()
        d.find_element(By.ID, "source_grid").click()
        self.wait_made(before)
        for field, value in (("grid_columns", 0), ("grid_rows", 201), ("grid_columns", "2.5")):
            self.put_value(field, value)
            WebDriverWait(d, 60).until(lambda _: self.error_for("grid") != "")
            self.assertEqual(self.error_for("grid"),
                             "The grid needs whole numbers of columns and rows, each from 1 to 200.")
            self.assertEqual(d.find_element(By.ID, field).get_attribute("aria-invalid"), "true")
            self.assertTrue(self.status().startswith("This set-up cannot work"), self.status())
            d.find_element(By.ID, "lang_it").click()
            self.assertEqual(self.error_for("grid"),
                             "La griglia vuole un numero intero di colonne e di righe, ciascuno da 1 a 200.")
            d.find_element(By.ID, "lang_en").click()
            self.put_value(field, 3)
            self.wait_ready()
            self.assertEqual(self.error_for("grid"), "")
        self.assertIn("grid: 3x3 cells to draw by hand", d.find_element(By.ID, "report").text)

if __name__ == "__main__":
    unittest.main()
