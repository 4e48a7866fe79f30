#!/usr/bin/python3
"""The browser page's speed as a user meets it, in headless Chromium: a
12-megapixel photo turned by its EXIF tag is chosen, then the cylinder's
radius is changed RUNS times (the picture face is placed again for each), and
the dpi RUNS times (the face stays); each time, from the input event to the
new preview drawn (the report written again, then the next frame painted). Then the full print for the download (the PNG: from the click to
the print made, and to the file saved) when the page makes it on a download,
or else (a page that makes the full print after each change) from the change
to "Ready".

    bench/site_preview.py WWW SITE_PHOTO [RUNS]

WWW: the built site (build/site/www); SITE_PHOTO: build/site/site_photo.
Prints each time and the median, in seconds."""
import functools
import http.server
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

WWW, PHOTO = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
RUNS = int(sys.argv[3]) if len(sys.argv) > 3 else 7


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


# Installed in the page: times the first rewrite of the report (the page
# writes it only with a print shown) and the frame painted after it, from the
# input event.
CHANGE = """
const [field, value, done] = arguments;
const report = document.getElementById('report');
const started = performance.now();
const seen = new MutationObserver(() => {
  seen.disconnect();
  requestAnimationFrame(() => setTimeout(() => done(performance.now() - started), 0));
});
seen.observe(report, {childList: true, subtree: true, characterData: true});
const e = document.getElementById(field);
e.value = String(value);
e.dispatchEvent(new Event('input', {bubbles: true}));
"""


def main():
    work = tempfile.mkdtemp(prefix="site-bench-")
    downloads = os.path.join(work, "downloads")
    os.makedirs(downloads)
    photo = os.path.join(work, "photo.jpg")
    # 4000 x 3000 as stored, to be turned a quarter clockwise (EXIF 6).
    subprocess.run([PHOTO, photo, "4000", "3000", "6"], check=True)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Quiet, directory=WWW))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    options = webdriver.ChromeOptions()
    for a in ["--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--window-size=1400,1000"]:
        options.add_argument(a)
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    d = webdriver.Chrome(options=options,
                         service=Service(executable_path=shutil.which("chromedriver") or "/usr/bin/chromedriver"))
    d.set_script_timeout(900)
    d.execute_cdp_cmd("Page.setDownloadBehavior", {"behavior": "allow", "downloadPath": downloads})
    status = lambda: d.find_element(By.ID, "status").text
    ready = lambda: WebDriverWait(d, 900, 0.05).until(lambda _: status().startswith(("Ready", "Made, but")))
    try:
        d.get("http://127.0.0.1:%d/" % server.server_address[1])
        ready()
        d.find_element(By.ID, "picture_input").send_keys(photo)
        WebDriverWait(d, 900).until(lambda _: "3000 x 4000" in d.find_element(By.ID, "picture_name").text)
        ready()
        on_download = d.find_element(By.ID, "full_progress") if d.find_elements(By.ID, "full_progress") else None
        previews, fulls = {"radius": [], "dpi": []}, []
        report = lambda: d.find_element(By.ID, "report").text
        for field, values, words in (("radius", [26 + run for run in range(RUNS)], "radius %d mm"),
                                     ("dpi", [200 + 10 * run for run in range(RUNS)], "at %d dpi")):
            for value in values:
                ms = d.execute_async_script(CHANGE, field, value)
                previews[field].append(ms / 1000)
                started = time.monotonic()
                ready()
                if on_download is None:
                    fulls.append(time.monotonic() - started + ms / 1000)
                if words % value not in report():
                    sys.exit("the page shows no %s of %s" % (field, value))
                print("change of the %s to %d: preview drawn in %.3f s" % (field, value, ms / 1000), flush=True)
        saved = []
        if on_download is not None:
            for run in range(min(RUNS, 3)):
                if run:
                    d.execute_async_script(CHANGE, "radius", 40 + run)
                    ready()
                path = os.path.join(downloads, "anamorfosi.png")
                if os.path.exists(path):
                    os.remove(path)
                made = d.find_element(By.ID, "status").get_attribute("data-full")
                started = time.monotonic()
                d.find_element(By.ID, "get_png").click()
                WebDriverWait(d, 900, 0.05).until(
                    lambda _: d.find_element(By.ID, "status").get_attribute("data-full") != made)
                fulls.append(time.monotonic() - started)
                WebDriverWait(d, 900, 0.05).until(lambda _: os.path.exists(path) and os.path.getsize(path) > 0)
                saved.append(time.monotonic() - started)
                print("full print for the download: %.2f s; its PNG saved after %.2f s" % (fulls[-1], saved[-1]),
                      flush=True)
        for field, times in previews.items():
            print("preview after a change of the %s: median %.3f s of %d (min %.3f, max %.3f)" %
                  (field, statistics.median(times), len(times), min(times), max(times)))
        print("full print: median %.2f s of %d (%s)" %
              (statistics.median(fulls), len(fulls),
               "from the download's click to the print made" if on_download is not None
               else "from the change to Ready, preview included"))
        if saved:
            print("PNG saved: median %.2f s of %d from the download's click" % (statistics.median(saved), len(saved)))
    finally:
        d.quit()
        server.shutdown()
        shutil.rmtree(work, True)


if __name__ == "__main__":
    main()
