"""The server run as a user runs it, against hostile clients: each refused
with a clear status while it keeps serving the site's files."""
import http.client
import os
import socket
import sys
import threading
import time
import unittest

from harness import Server

BINARY = sys.argv.pop(1)


def request(port, method, path, body=b"", headers=None, timeout=120):
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
    c.request(method, path, body=body, headers=headers or {})
    r = c.getresponse()
    data = r.read()
    c.close()
    return r.status, data


def timed(test):
    """Marks a test whose check is a bound on the clock (a page served within
    seconds): it runs in the group ctest runs alone (web_server_timed), the
    others beside other tests."""
    test.timed = True
    return test


def load_tests(loader, tests, pattern):
    """WEB_SERVER_TESTS=timed or untimed keeps only that group; unset, all."""
    group = os.environ.get("WEB_SERVER_TESTS", "")
    if group not in ("", "timed", "untimed"):
        raise ValueError("WEB_SERVER_TESTS is timed, untimed or unset, not " + group)
    suite = unittest.TestSuite()
    for case in tests:
        for test in case:
            is_timed = getattr(getattr(test, test._testMethodName), "timed", False)
            if not group or (group == "timed") == is_timed:
                suite.addTest(test)
    return suite


class ServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = Server(BINARY, "--max-request-mb", "2")
        cls.port = cls.server.port

    @classmethod
    def tearDownClass(cls):
        status, left = cls.server.stop()
        assert status == 0 and not left, (status, left)

    def assertStillServing(self):
        status, body = request(self.port, "GET", "/")
        self.assertEqual(status, 200)
        self.assertIn(b"<html", body)

    def test_refusals(self):
        # A foreign Host, an upload, a request beyond --max-request-mb, a path outside the site.
        status, _ = request(self.port, "GET", "/", headers={"Host": "attacker.example:%d" % self.port})
        self.assertEqual(status, 421)
        status, body = request(self.port, "POST", "/api/upload", b"\0" * (3 << 20),
                               {"Content-Type": "multipart/form-data; boundary=XyZ"})
        self.assertEqual(status, 413)
        self.assertIn(b"too large", body)
        status, body = request(self.port, "POST", "/api/upload", b"\0" * 100,
                               {"Content-Type": "multipart/form-data; boundary=XyZ"})
        self.assertEqual(status, 405)
        status, body = request(self.port, "GET", "/", b"\0" * (3 << 20))
        self.assertEqual(status, 413)
        for path in ["/../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/kinds.js"]:
            status, _ = request(self.port, "GET", path)
            self.assertEqual(status, 404, path)
        self.assertStillServing()

    def test_other_sites_are_refused(self):
        for origin in ["http://attacker.example", "null", "http://127.0.0.1:%d.attacker.example" % self.port,
                       "https://127.0.0.1:%d" % self.port, "http://127.0.0.1:%d" % (self.port + 1)]:
            status, body = request(self.port, "GET", "/", headers={"Origin": origin})
            self.assertEqual(status, 403, origin)
            self.assertIn(b"other sites", body)
        # The page's own, at each name the server answers to.
        for origin in ["http://127.0.0.1:%d" % self.port, "http://LOCALHOST:%d" % self.port]:
            status, body = request(self.port, "GET", "/", headers={"Origin": origin})
            self.assertEqual(status, 200, body[:200])

    @timed
    def test_slow_clients_do_not_hold_up_others(self):
        clients = []
        stop = threading.Event()

        def trickle():
            # A header line now and then, as a client on a very slow line would send.
            while not stop.wait(1):
                for c in clients:
                    try:
                        c.sendall(b"X-Slow: 1\r\n")
                    except OSError:
                        pass
        sender = threading.Thread(target=trickle)
        try:
            for _ in range(200):
                c = socket.create_connection(("127.0.0.1", self.port), timeout=10)
                c.sendall(b"GET / HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n" % self.port)  # half a request
                clients.append(c)
            sender.start()
            opened = time.monotonic()
            for after in [1, 8]:  # 8 s: longer than the library's usual wait for a read
                time.sleep(max(0, opened + after - time.monotonic()))
                started = time.monotonic()
                status, _ = request(self.port, "GET", "/", timeout=5)
                took = time.monotonic() - started
                print("with 200 slow clients open for %d s a page was served in %.3f s" % (after, took))
                self.assertEqual(status, 200)
                self.assertLess(took, 3)
            self.assertLess(self.server.peak_kb(), 300 * 1024)
        finally:
            stop.set()
            if sender.is_alive():
                sender.join()
            for c in clients:
                c.close()


if __name__ == "__main__":
    unittest.main()
