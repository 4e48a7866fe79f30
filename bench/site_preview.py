#!/usr/bin/python3
"""The browser page's speed as a user meets it, in headless Chromium: a
12-megapixel photo turned by its EXIF tag is chosen, then the cylinder's
radius is changed RUNS times; each time, from the input event to the new
preview drawn (the report of the new radius written, then the next frame
painted). Then the full print for the download (the PNG: from the click to
the file saved) when the page makes it on a download, or else (a page that
makes the full print after each change) from the change to "Ready".

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


# Installed in the page: times the first rewrite of the report that names the
# radius wanted, and the frame painted after it, from the input event.
CHANGE = """
const [radius, done] = arguments;
const report = document.getElementById('report');
const started = performance.now();
const seen = new MutationObserver(() => {
  if (!report.textContent.includes('radius ' + radius + ' mm')) return;
  seen.disconnect();
  requestAnimationFrame(() => setTimeout(() => done(performance.now() - started), 0));
});
seen.observe(report, {childList: true, subtree: true, characterData: true});
const e = document.getElementById('radius');
e.value = String(radius);
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
        previews, fulls = [], []
        for run in range(RUNS):
            radius = 26 + run
            ms = d.execute_async_script(CHANGE, radius)
            previews.append(ms / 1000)
            started = time.monotonic()
            ready()
            if on_download is None:
                fulls.append(time.monotonic() - started + ms / 1000)
            print("change to radius %d: preview drawn in %.3f s" % (radius, ms / 1000), flush=True)
        if on_download is not None:
            for run in range(min(RUNS, 3)):
                if run:
                    d.execute_async_script(CHANGE, 40 + run)
                    ready()
                path = os.path.join(downloads, "anamorfosi.png")
                if os.path.exists(path):
                    os.remove(path)
                started = time.monotonic()
                d.find_element(By.ID, "get_png").click()
                WebDriverWait(d, 900, 0.05).until(lambda _: os.path.exists(path) and os.path.getsize(path) > 0)
                fulls.append(time.monotonic() - started)
                print("full print and PNG for the download: %.2f s" % fulls[-1], flush=True)
        print("preview after a change: median %.3f s of %d (min %.3f, max %.3f)" %
              (statistics.median(previews), len(previews), min(previews), max(previews)))
        print("full print: median %.2f s of %d (%s)" %
              (statistics.median(fulls), len(fulls),
               "from the download's click to the PNG saved" if on_download is not None
               else "from the change to Ready, preview included"))
    finally:
        d.quit()
        server.shutdown()
        shutil.rmtree(work, True)


if __name__ == "__main__":
    main()
