"""The page as a user meets it, in headless Chromium: the test card uploaded,
a 25 mm cylinder, both previews, a change of radius, the PDF downloaded and
compared with the command's for the same scene; the plane and mesh mirrors
from their files, the grid, the PNG and scene downloads, a large photo's quick
preview before its full one, the errors beside their fields, and a wrong print
told in red instead of "Ready"; the mirror choice and its fields as the
server's list of kinds (kinds.js) gives them."""
import base64
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

from harness import Server

BINARY, EXAMPLES, SHOTS = (os.path.abspath(a) for a in sys.argv[1:4])
del sys.argv[1:4]
EPOCH = {"SOURCE_DATE_EPOCH": "1700000000"}


class PageTest(unittest.TestCase):
    def setUp(self):
        self.server = Server(BINARY, env=EPOCH)
        self.downloads = tempfile.mkdtemp(prefix="page-downloads-")
        self.addCleanup(shutil.rmtree, self.downloads, True)
        options = webdriver.ChromeOptions()
        for a in ["--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--window-size=1400,1000"]:
            options.add_argument(a)
        options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
        service = Service(executable_path=shutil.which("chromedriver") or "/usr/bin/chromedriver")
        self.driver = webdriver.Chrome(options=options, service=service)
        self.driver.execute_cdp_cmd("Page.setDownloadBehavior", {"behavior": "allow", "downloadPath": self.downloads})

    def tearDown(self):
        self.driver.quit()
        status, left = self.server.stop()
        self.assertEqual((status, left), (0, []))

    def shot(self, name):
        os.makedirs(SHOTS, exist_ok=True)
        self.driver.save_screenshot(os.path.join(SHOTS, name))

    def work_folder(self):
        work = tempfile.mkdtemp(prefix="page-command-")
        self.addCleanup(shutil.rmtree, work, True)
        return work

    def command(self, work, *args):
        subprocess.run([BINARY, *args, "--quiet"], cwd=work, check=True, env=dict(os.environ, **EPOCH))

    def download(self, button, name):
        self.driver.find_element(By.ID, button).click()
        path = os.path.join(self.downloads, name)
        WebDriverWait(self.driver, 60).until(lambda _: os.path.exists(path) and os.path.getsize(path) > 0)
        time.sleep(0.5)
        with open(path, "rb") as f:
            return f.read()

    def error_for(self, field):
        return self.driver.find_element(By.CSS_SELECTOR, '.error[data-for="%s"]' % field).text

    def wait_ready(self, previous_print=None, timeout=60):
        def ready(d):
            status = d.find_element(By.ID, "status").text
            src = d.find_element(By.ID, "print").get_attribute("src") or ""
            return status.startswith("Ready") and src.startswith("data:") and src != previous_print
        WebDriverWait(self.driver, timeout).until(ready)
        return (self.driver.find_element(By.ID, "print").get_attribute("src"),
                self.driver.find_element(By.ID, "view").get_attribute("src"))

    def set_value(self, field, value):
        e = self.driver.find_element(By.ID, field)
        e.clear()
        e.send_keys(str(value))

    def test_card_on_a_cylinder_to_pdf(self):
        d = self.driver
        d.get(self.server.url)
        self.shot("1-loaded.png")
        d.find_element(By.ID, "picture_input").send_keys(os.path.join(EXAMPLES, "cartello.ppm"))
        self.set_value("radius", 25)
        start = time.monotonic()
        print_before, view_before = self.wait_ready()
        print("both previews in %.1f s" % (time.monotonic() - start))
        self.assertIn("fidelity:", d.find_element(By.ID, "fidelity").text)
        self.shot("2-radius-25.png")

        self.set_value("radius", 30)
        print_after, view_after = self.wait_ready(print_before)
        self.assertNotEqual(print_after, print_before)
        self.assertNotEqual(view_after, view_before)
        self.assertIn("radius 30", d.find_element(By.ID, "report").text)
        # The sheets of the chosen paper the print takes, in the report and by the downloads.
        self.assertIn("paper: 2 sheets of A4", d.find_element(By.ID, "report").text)
        self.assertIn("2 sheets of A4", d.find_element(By.ID, "sheets").text)
        self.shot("3-radius-30.png")
        # Another paper: the same print, on one sheet.
        Select(d.find_element(By.ID, "paper")).select_by_visible_text("A3")
        WebDriverWait(d, 60).until(lambda _: "Paper: 1 sheet of A3" in d.find_element(By.ID, "sheets").text)
        Select(d.find_element(By.ID, "paper")).select_by_visible_text("A4")
        WebDriverWait(d, 60).until(lambda _: "2 sheets of A4" in d.find_element(By.ID, "sheets").text
                                   and d.find_element(By.ID, "status").text.startswith("Ready"))

        pdf = self.download("get_pdf", "anamorfosi.pdf")
        work = self.work_folder()
        shutil.copy(os.path.join(EXAMPLES, "cartello.ppm"), os.path.join(work, "picture.ppm"))
        self.command(work, "cilindro", "picture.ppm", "--radius", "30", "-o", "x.pdf")
        with open(os.path.join(work, "x.pdf"), "rb") as b:
            self.assertEqual(pdf, b.read())

        # An eye inside the mirror is named next to the eye's fields.
        d.find_element(By.ID, "eye_auto").click()
        for field, value in [("eye_x", 0), ("eye_y", 0), ("eye_z", 100)]:
            self.set_value(field, value)
        WebDriverWait(d, 30).until(lambda _: "inside" in self.error_for("eye"))
        self.assertIn("wrong", d.find_element(By.ID, "eye_x").find_element(By.XPATH, "ancestor::fieldset")
                      .get_attribute("class"))
        self.shot("4-eye-inside.png")
        # The drawing from above follows the numbers while the server refuses them.
        self.set_value("eye_z", 150)
        WebDriverWait(d, 10).until(lambda _: "eye, 150 mm up" in d.find_element(By.ID, "plan").text)
        WebDriverWait(d, 30).until(lambda _: "inside" in self.error_for("eye")
                                   and not d.find_element(By.ID, "status").get_attribute("class"))

    def test_the_mirror_choice_and_fields_follow_the_servers_kinds(self):
        d = self.driver
        d.get(self.server.url)
        # The list the server gives, read as any client would.
        with urllib.request.urlopen(self.server.url + "kinds.js") as r:
            text = r.read().decode()
        self.assertTrue(text.startswith("const KINDS = "))
        kinds = json.loads(text[len("const KINDS = "):].rstrip().rstrip(";"))["kinds"]
        choice = Select(d.find_element(By.ID, "mirror"))
        self.assertEqual([o.get_attribute("value") for o in choice.options], [k["name"] for k in kinds])
        for k in kinds:
            choice.select_by_value(k["name"])
            # The fields shown are the kind's, each with its own words.
            shown = d.execute_script(
                "return [...document.querySelectorAll('#mirror_fields [data-field]')]"
                ".filter((e) => e.getClientRects().length > 0)"
                ".map((e) => [e.dataset.field, e.querySelector('.label').textContent])")
            self.assertEqual(sorted(shown), sorted([p["field"], p["label"]] for p in k["parameters"]), k["name"])
            # A kind without an automatic face takes its face as a file and its eye as given.
            self.assertEqual(d.find_element(By.ID, "face_input").is_displayed(), not k["automatic_face"])
            self.assertEqual(d.find_element(By.ID, "eye_auto").is_enabled(), k["automatic_face"])
            for p in k["parameters"]:
                if p["value"] == "file":
                    self.assertEqual(d.find_element(By.ID, p["field"].replace("_file", "_input"))
                                     .get_attribute("accept"), k["accept"])
        self.assertIn(["radius", "base radius"],
                      [[p["field"], p["label"]] for k in kinds if k["name"] == "cono" for p in k["parameters"]])

    def test_card_on_a_sphere_standing_then_raised(self):
        """The sphere's centre as X, Y and a Z left empty for a ball standing on the sheet: its print and PDF
        are the command's; a Z typed raises it."""
        d = self.driver
        d.get(self.server.url)
        d.find_element(By.ID, "picture_input").send_keys(os.path.join(EXAMPLES, "cartello.ppm"))
        Select(d.find_element(By.ID, "mirror")).select_by_value("sfera")
        self.set_value("radius", 40)
        self.assertEqual(d.find_element(By.ID, "centre_z").get_attribute("value"), "")
        self.assertEqual(d.find_element(By.ID, "centre_z").get_attribute("placeholder"), "standing")
        before, _ = self.wait_ready()
        self.assertIn("sphere, centre (0, 0, 40), radius 40 mm", d.find_element(By.ID, "report").text)
        self.assertIn("fidelity:", d.find_element(By.ID, "fidelity").text)
        # The close-up of the ball beside the whole scene, at its size, the ball far larger in it: the sky
        # the ball reflects (the sky's colour as the mirror tints it) counted in each picture as sent.
        shown = d.execute_script("""
            const share = (img) => {
              const c = document.createElement('canvas');
              c.width = img.naturalWidth; c.height = img.naturalHeight;
              const g = c.getContext('2d'); g.drawImage(img, 0, 0);
              const px = g.getImageData(0, 0, c.width, c.height).data;
              let sky = 0;
              for (let i = 0; i < px.length; i += 4) sky += px[i] == 210 && px[i + 1] == 225 && px[i + 2] == 242;
              return sky / (c.width * c.height);
            };
            const view = document.getElementById('view'), close = document.getElementById('closeup');
            return { size: [view.naturalWidth, view.naturalHeight, close.naturalWidth, close.naturalHeight],
                     beside: close.getBoundingClientRect().left >= view.getBoundingClientRect().right,
                     view: share(view), close: share(close) };""")
        self.assertTrue(d.find_element(By.ID, "closeup").is_displayed())
        self.assertEqual(shown["size"][:2], shown["size"][2:])
        self.assertTrue(shown["beside"])
        self.assertGreater(shown["close"], 5 * shown["view"], shown)
        self.assertGreater(shown["close"], 0.1, shown)
        self.shot("7-sphere.png")
        pdf = self.download("get_pdf", "anamorfosi.pdf")
        work = self.work_folder()
        shutil.copy(os.path.join(EXAMPLES, "cartello.ppm"), os.path.join(work, "picture.ppm"))
        self.command(work, "sfera", "picture.ppm", "--radius", "40", "-o", "x.pdf")
        with open(os.path.join(work, "x.pdf"), "rb") as b:
            self.assertEqual(pdf, b.read())
        self.set_value("centre_z", 100)
        self.wait_ready(before)
        self.assertIn("sphere, centre (0, 0, 100), radius 40 mm", d.find_element(By.ID, "report").text)

    def test_plane_and_mesh_mirrors_from_their_files(self):
        d = self.driver
        d.get(self.server.url)
        self.wait_ready()
        Select(d.find_element(By.ID, "mirror")).select_by_value("specchio")
        WebDriverWait(d, 30).until(lambda _: "choose the mirror's DXF file" in self.error_for("mirror_file"))
        before = d.find_element(By.ID, "print").get_attribute("src")
        d.find_element(By.ID, "mirror_input").send_keys(os.path.join(EXAMPLES, "specchio", "specchio.dxf"))
        plane_print, plane_view = self.wait_ready(before)
        self.assertIn("plane mirror", d.find_element(By.ID, "report").text)
        self.assertEqual(self.error_for("mirror_file"), "")
        self.shot("5-plane-mirror.png")

        work = self.work_folder()
        with open(os.path.join(work, "mirror.obj"), "w") as f:
            f.write("v -60 0 0\nv 60 0 0\nv 60 0 120\nv -60 0 120\nf 1 2 3 4\n")
        # The same quadrilateral as a mesh (OBJ) from the example's eye: no face asked for, the command finds it.
        Select(d.find_element(By.ID, "mirror")).select_by_value("generico")
        for field, value in [("eye_x", 0), ("eye_y", -150), ("eye_z", 120)]:
            self.set_value(field, value)
        self.assertFalse(d.find_element(By.ID, "face_input").is_displayed())
        d.find_element(By.ID, "mirror_input").send_keys(os.path.join(work, "mirror.obj"))
        mesh_print, mesh_view = self.wait_ready(plane_print, timeout=120)
        self.assertIn("mesh mirror, 2 triangles", d.find_element(By.ID, "report").text)
        self.assertIn("(automatic, fill 0.9)", d.find_element(By.ID, "report").text)
        self.assertEqual(self.error_for("face_file"), "")
        self.assertIn("fidelity:", d.find_element(By.ID, "fidelity").text)
        self.shot("6-mesh-mirror.png")

        # The same mesh taken as smooth, then with another crease: the report says which.
        report = lambda _: d.find_element(By.ID, "report").text
        d.find_element(By.ID, "smooth").click()
        WebDriverWait(d, 60).until(lambda _: "2 triangles, smooth (crease 60 degrees)" in report(_)
                                   and d.find_element(By.ID, "status").text.startswith("Ready"))
        self.set_value("crease", 30)
        WebDriverWait(d, 60).until(lambda _: "smooth (crease 30 degrees)" in report(_)
                                   and d.find_element(By.ID, "status").text.startswith("Ready"))

    def test_a_wrong_print_is_not_called_ready(self):
        """The faceted cone round the eye's axis in the general mode folds the picture: the page says so
        in red beside the preview; the vertical mode mends it."""
        d = self.driver
        d.get(self.server.url)
        first, _ = self.wait_ready()
        Select(d.find_element(By.ID, "mirror")).select_by_value("generico")
        for field, value in [("eye_x", 0), ("eye_y", 0), ("eye_z", 400)]:
            self.set_value(field, value)
        d.find_element(By.ID, "mirror_input").send_keys(os.path.join(EXAMPLES, "generico", "cono.dxf"))
        WebDriverWait(d, 120).until(lambda _: d.find_element(By.ID, "status").text.startswith("Made, but"))
        warning = d.find_element(By.ID, "fidelity_warning")
        self.assertIn("the print is not faithful", warning.text)
        self.assertIn("likely cause", warning.text)
        self.assertEqual(warning.value_of_css_property("color"), "rgba(187, 0, 0, 1)")
        # Beside the preview: right below the fidelity line.
        self.assertEqual(d.execute_script("return document.getElementById('fidelity').nextElementSibling.id"),
                         "fidelity_warning")
        self.shot("9-wrong-print.png")
        wrong = d.find_element(By.ID, "print").get_attribute("src")
        d.find_element(By.ID, "vertical_axis").click()
        self.wait_ready(wrong, timeout=120)
        self.assertEqual(d.find_element(By.ID, "fidelity_warning").text, "")

    def test_grid_png_and_scene_downloads_are_the_commands(self):
        d = self.driver
        d.get(self.server.url)
        first, _ = self.wait_ready()
        d.find_element(By.CSS_SELECTOR, "input[name=source][value=grid]").click()
        self.set_value("grid_columns", 6)
        self.set_value("grid_rows", 4)
        grid_print, _ = self.wait_ready(first)
        self.shot("7-grid.png")
        png = self.download("get_png", "anamorfosi.png")
        work = self.work_folder()
        self.command(work, "cilindro", "--grid", "6x4", "--radius", "25", "-o", "x.png")
        with open(os.path.join(work, "x.png"), "rb") as b:
            self.assertEqual(png, b.read())

        d.find_element(By.CSS_SELECTOR, "input[name=source][value=card]").click()
        self.wait_ready(grid_print)
        scene = self.download("get_scene", "anamorfosi.json")
        shutil.copy(os.path.join(EXAMPLES, "cartello.ppm"), work)
        self.command(work, "cilindro", "cartello.ppm", "--radius", "25", "-o", "y.png", "--save-scene", "y.json")
        with open(os.path.join(work, "y.json"), "rb") as b:
            self.assertEqual(scene, b.read())

    def test_large_photo_shows_a_quick_preview_first(self):
        d = self.driver
        work = self.work_folder()
        side = 1000
        rows = []
        for y in range(side):
            rows.append(bytes(v for x in range(side) for v in
                              (x * 255 // side, y * 255 // side, 255 * ((x // 100 + y // 100) % 2))))
        with open(os.path.join(work, "large.ppm"), "wb") as f:
            f.write(b"P6\n%d %d\n255\n" % (side, side) + b"".join(rows))
        d.get(self.server.url)
        first, _ = self.wait_ready()
        d.find_element(By.ID, "picture_input").send_keys(os.path.join(work, "large.ppm"))
        WebDriverWait(d, 30).until(lambda _: "1000 x 1000" in d.find_element(By.ID, "picture_name").text)
        previous, _ = self.wait_ready(first, timeout=120)
        for radius in [30, 35]:
            # One change at once, as a paste or a spin of the field makes it.
            d.execute_script("const e = document.getElementById('radius'); e.value = arguments[0];"
                             "e.dispatchEvent(new Event('input', {bubbles: true}));", str(radius))
            start = time.monotonic()
            seen = []

            def shown(_):
                # Read together, so that a preview shown between two reads is not taken for another.
                quality, src = d.execute_script(
                    "const p = document.getElementById('print'); return [p.dataset.quality, p.src];")
                if src != previous and (not seen or seen[-1][0] != quality):
                    seen.append((quality, time.monotonic() - start))
                return (src != previous and quality == "full"
                        and d.find_element(By.ID, "status").text.startswith("Ready"))
            WebDriverWait(d, 120, poll_frequency=0.05).until(shown)
            previous = d.find_element(By.ID, "print").get_attribute("src")
            print("1000 x 1000 picture, radius %d: %s" % (
                radius, ", ".join("%s preview after %.1f s" % q for q in seen)))
            self.assertEqual([q for q, _ in seen], ["quick", "full"])
            self.assertIn("radius %d" % radius, d.find_element(By.ID, "report").text)
        self.shot("8-large-photo.png")

    def test_photo_for_the_readme(self):
        """The README's picture of the page: the bundled photo on a 25 mm cylinder, 800 pixels wide."""
        d = self.driver
        d.get(self.server.url)
        first, _ = self.wait_ready()
        d.find_element(By.ID, "picture_input").send_keys(os.path.join(EXAMPLES, "foto.png"))
        self.wait_ready(first)
        os.makedirs(SHOTS, exist_ok=True)
        width, height = d.execute_script("return [window.innerWidth, window.innerHeight]")
        shot = d.execute_cdp_cmd("Page.captureScreenshot", {
            "format": "png", "clip": {"x": 0, "y": 0, "width": width, "height": height, "scale": 800 / width}})
        with open(os.path.join(SHOTS, "readme.png"), "wb") as f:
            f.write(base64.b64decode(shot["data"]))


if __name__ == "__main__":
    unittest.main()
