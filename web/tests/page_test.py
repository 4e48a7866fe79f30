"""The page as a user meets it, in headless Chromium: the test card uploaded,
a 25 mm cylinder, both previews, a change of radius, the PDF downloaded and
compared with the command's for the same scene."""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

from harness import Server

BINARY, EXAMPLES, SHOTS = (os.path.abspath(a) for a in sys.argv[1:4])
del sys.argv[1:4]
EPOCH = {"SOURCE_DATE_EPOCH": "1700000000"}


class PageTest(unittest.TestCase):
    def setUp(self):
        self.server = Server(BINARY, env=EPOCH)
        self.downloads = tempfile.mkdtemp(prefix="page-downloads-")
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
        self.shot("3-radius-30.png")

        d.find_element(By.ID, "get_pdf").click()
        pdf = os.path.join(self.downloads, "anamorfosi.pdf")
        WebDriverWait(d, 60).until(lambda _: os.path.exists(pdf) and os.path.getsize(pdf) > 0)
        time.sleep(0.5)
        work = tempfile.mkdtemp(prefix="page-command-")
        shutil.copy(os.path.join(EXAMPLES, "cartello.ppm"), os.path.join(work, "picture.ppm"))
        subprocess.run([BINARY, "cilindro", "picture.ppm", "--radius", "30", "-o", "x.pdf", "--quiet"], cwd=work,
                       check=True, env=dict(os.environ, **EPOCH))
        with open(pdf, "rb") as a, open(os.path.join(work, "x.pdf"), "rb") as b:
            self.assertEqual(a.read(), b.read())

        # An eye inside the mirror is named next to the eye's fields.
        d.find_element(By.ID, "eye_auto").click()
        for field, value in [("eye_x", 0), ("eye_y", 0), ("eye_z", 100)]:
            self.set_value(field, value)
        WebDriverWait(d, 30).until(
            lambda _: "inside" in d.find_element(By.CSS_SELECTOR, '.error[data-for="eye"]').text)
        self.shot("4-eye-inside.png")


if __name__ == "__main__":
    unittest.main()
