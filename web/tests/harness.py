"""Starts `anamorfosi serve --port 0` in a fresh folder and stops it with SIGTERM."""
import os
import re
import shutil
import signal
import subprocess
import tempfile


class Server:
    def __init__(self, binary, *args, env=None):
        self.home = tempfile.mkdtemp(prefix="serve-test-")
        e = dict(os.environ, TMPDIR=self.home, **(env or {}))
        self.proc = subprocess.Popen([binary, "serve", "--port", "0", *args], stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True, env=e)
        line = self.proc.stdout.readline()
        m = re.search(r"http://127\.0\.0\.1:(\d+)/", line)
        if not m:
            raise RuntimeError("no address from the server: " + line + self.proc.stderr.read())
        self.port = int(m.group(1))
        self.url = "http://127.0.0.1:%d/" % self.port

    def rss_kb(self):
        """The resident memory of the server and of the jobs it runs."""
        total = 0
        for pid in [self.proc.pid] + self.children():
            try:
                with open("/proc/%d/status" % pid) as f:
                    total += int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))
            except (OSError, AttributeError):
                pass  # ended meanwhile
        return total

    def peak_kb(self):
        """The most resident memory the server process itself has had (its jobs not counted)."""
        with open("/proc/%d/status" % self.proc.pid) as f:
            return int(re.search(r"VmHWM:\s+(\d+)", f.read()).group(1))

    def root(self):
        """The server's private folder of uploads and jobs."""
        return os.path.join(self.home, [d for d in os.listdir(self.home) if d.startswith("anamorfosi-serve-")][0])

    def children(self):
        """The jobs running now: each thread's own children (a job is started by the request's thread)."""
        found = []
        try:
            tasks = os.listdir("/proc/%d/task" % self.proc.pid)
        except OSError:
            return found
        for tid in tasks:
            try:
                with open("/proc/%d/task/%s/children" % (self.proc.pid, tid)) as f:
                    found += [int(p) for p in f.read().split()]
            except OSError:
                pass
        return found

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        self.proc.wait(timeout=20)
        self.proc.stdout.close()
        self.proc.stderr.close()
        left = [d for d in os.listdir(self.home) if d.startswith("anamorfosi-serve-")]
        shutil.rmtree(self.home, ignore_errors=True)
        return self.proc.returncode, left
