"""The page's server against hostile and heavy requests: each refused with a
clear status while it keeps serving."""
import base64
import http.client
import json
import struct
import sys
import threading
import time
import unittest

from harness import Server

BINARY = sys.argv.pop(1)
SCENE = {"mirror": "cilindro", "picture": "card", "radius": 25, "axis_x": 0, "axis_y": 0, "units": "mm",
         "dpi": 100, "accuracy": 2, "paper": "A4"}


def request(port, method, path, body=b"", headers=None):
    c = http.client.HTTPConnection("127.0.0.1", port, timeout=120)
    c.request(method, path, body=body, headers=headers or {})
    r = c.getresponse()
    data = r.read()
    c.close()
    return r.status, data


def multipart(name, content, boundary="XyZ", role="picture"):
    return (("--%s\r\nContent-Disposition: form-data; name=\"role\"\r\n\r\n%s\r\n"
             "--%s\r\nContent-Disposition: form-data; name=\"file\"; filename=\"%s\"\r\n"
             "Content-Type: application/octet-stream\r\n\r\n" % (boundary, role, boundary, name)).encode()
            + content + ("\r\n--%s--\r\n" % boundary).encode())


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
        status, _ = request(self.port, "GET", "/")
        self.assertEqual(status, 200)

    def test_refusals(self):
        # Too large, a foreign Host, a broken multipart body, a hostile PNG, a bad form.
        status, body = request(self.port, "POST", "/api/upload", multipart("big.png", b"\0" * (3 << 20)),
                               {"Content-Type": "multipart/form-data; boundary=XyZ"})
        self.assertEqual(status, 413)
        self.assertIn(b"too large", body)
        status, _ = request(self.port, "GET", "/", headers={"Host": "attacker.example:%d" % self.port})
        self.assertEqual(status, 421)
        status, body = request(self.port, "POST", "/api/upload", b"--XyZ\r\nContent-Disposition: form-da",
                               {"Content-Type": "multipart/form-data; boundary=XyZ"})
        self.assertEqual(status, 400)
        self.assertIn(b"error", body)
        # A PNG header announcing 100000 x 100000 pixels.
        png = (b"\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\x01\x86\xa0\0\x01\x86\xa0\x08\x02\0\0\0" + b"\0" * 4
               + b"\0\0\0\0IEND\xaeB`\x82")
        status, body = request(self.port, "POST", "/api/upload", multipart("x.png", png),
                               {"Content-Type": "multipart/form-data; boundary=XyZ"})
        self.assertEqual(status, 400)
        self.assertIn("picture cannot be read", json.loads(body)["error"])
        self.assertNotIn(b"/tmp", body)
        # A PPM header announcing more than its bytes hold.
        status, body = request(self.port, "POST", "/api/upload", multipart("x.ppm", b"P6\n60000 60000\n255\n\0\0\0"),
                               {"Content-Type": "multipart/form-data; boundary=XyZ"})
        self.assertEqual((status, json.loads(body)["field"]), (400, "picture"))
        self.assertNotIn(b"/tmp", body)
        # A mirror file of a kind the command does not read: the message names those it does.
        status, body = request(self.port, "POST", "/api/upload",
                               multipart("mirror.3ds", b"MM", role="mirror_file"),
                               {"Content-Type": "multipart/form-data; boundary=XyZ"})
        answer = json.loads(body)
        self.assertEqual((status, answer["field"]), (400, "mirror_file"))
        for kind in ["DXF", "STL", "OBJ", "PLY"]:
            self.assertIn(kind, answer["error"])
        status, body = request(self.port, "POST", "/api/preview", b"{not json")
        self.assertEqual(status, 400)
        bad = dict(SCENE, radius="25; --output /etc/x")
        status, body = request(self.port, "POST", "/api/preview", json.dumps(bad).encode())
        self.assertEqual((status, json.loads(body)["field"]), (422, "radius"))
        self.assertStillServing()

    def upload(self, name, content, role):
        status, body = request(self.port, "POST", "/api/upload", multipart(name, content, role=role),
                               {"Content-Type": "multipart/form-data; boundary=XyZ"})
        self.assertEqual(status, 200, body)
        return json.loads(body)["id"]

    def test_a_mirror_mesh_reads_nothing_but_itself(self):
        # A binary glTF whose second buffer is a file of the server's machine,
        # and one that crashes the mesh reader: one line naming the mirror, no
        # byte of the other file, and the server goes on.
        face = self.upload("face.dxf", b"0\nSECTION\n2\nENTITIES\n0\n3DFACE\n10\n-20\n20\n0\n30\n35\n11\n20\n21\n0\n"
                           b"31\n35\n12\n20\n22\n0\n32\n5\n13\n-20\n23\n0\n33\n5\n0\nENDSEC\n0\nEOF\n", "face_file")
        points = struct.pack("<9f", 0, 0, 0, 1, 0, 0, 0, 1, 0) + struct.pack("<3I", 0, 1, 2)
        gltf = {"asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0]}], "nodes": [{"mesh": 0}],
                "meshes": [{"primitives": [{"attributes": {"POSITION": 0}, "indices": 1, "mode": 4}]}],
                "buffers": [{"byteLength": 48}, {"byteLength": 48, "uri": "../../../../../../../../etc/passwd"}],
                "bufferViews": [{"buffer": 0, "byteOffset": 0, "byteLength": 36},
                                {"buffer": 1, "byteOffset": 36, "byteLength": 12}],
                "accessors": [{"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3"},
                              {"bufferView": 1, "componentType": 5125, "count": 3, "type": "SCALAR"}]}
        text = json.dumps(gltf).encode()
        text += b" " * (-len(text) % 4)
        chunks = struct.pack("<I4s", len(text), b"JSON") + text + struct.pack("<I4s", len(points), b"BIN\0") + points
        glb = struct.pack("<4sII", b"glTF", 2, 12 + len(chunks)) + chunks
        nodes = dict(gltf, nodes=[{"children": [i + 1]} for i in range(20000)] + [{"mesh": 0}],
                     buffers=[{"byteLength": 48, "uri": "data:application/octet-stream;base64," +
                               base64.b64encode(points).decode()}])
        for name, content, said in [("m.glb", glb, "its geometry lies in another file"),
                                    ("m.gltf", json.dumps(nodes).encode(), "the mesh reader failed on this GLTF file")]:
            mirror = self.upload(name, content, "mirror_file")
            scene = dict(SCENE, mirror="generico", mirror_file=mirror, face_file=face, eye_x=0, eye_y=-300, eye_z=250)
            status, body = request(self.port, "POST", "/api/preview", json.dumps(scene).encode())
            answer = json.loads(body)
            self.assertEqual((status, answer["field"]), (422, "mirror_file"), answer)
            self.assertIn(said, answer["error"])
            self.assertNotIn("root:", answer["error"])
            self.assertNotIn("/tmp", answer["error"])
        self.assertStillServing()

    def test_impossible_scenes_name_their_field(self):
        for change, field in [({"eye_x": 0, "eye_y": 0, "eye_z": 100}, "eye"), ({"radius": -3}, "radius"),
                              ({"mirror": "specchio"}, "mirror_file"), ({"picture": "0123456789abcdef"}, "picture")]:
            status, body = request(self.port, "POST", "/api/preview", json.dumps(dict(SCENE, **change)).encode())
            answer = json.loads(body)
            self.assertEqual((status, answer["field"]), (422, field), answer)
            self.assertNotIn("/tmp", answer["error"])

    def test_a_newer_preview_of_a_page_ends_its_older_one(self):
        slow = dict(SCENE, dpi=600, accuracy=8)
        answers = {}

        def one(generation, scene):
            status, body = request(self.port, "POST", "/api/preview?page=p1&generation=%d" % generation,
                                   json.dumps(scene).encode())
            answers[generation] = (status, json.loads(body), time.monotonic())
        first = threading.Thread(target=one, args=(1, slow))
        first.start()
        deadline = time.monotonic() + 20
        while not self.server.children() and time.monotonic() < deadline:
            time.sleep(0.02)  # until its job runs
        self.assertTrue(self.server.children(), "the first preview's job never started")
        started = time.monotonic()
        one(2, SCENE)
        first.join()
        self.assertEqual(answers[1][0], 409, answers[1][1])
        self.assertTrue(answers[1][1]["superseded"])
        self.assertEqual(answers[2][0], 200, answers[2][1].get("error"))
        # Ended, not left to finish: its answer came before the newer one's.
        self.assertLess(answers[1][2], answers[2][2])
        print("the newer preview answered %.1f s after it was asked" % (time.monotonic() - started))
        # One that comes after a newer one is not made at all; another page's is.
        one(1, SCENE)
        self.assertEqual(answers[1][0], 409)
        status, _ = request(self.port, "POST", "/api/preview?page=p2&generation=1", json.dumps(SCENE).encode())
        self.assertEqual(status, 200)

    def test_twenty_at_once_with_bounded_memory(self):
        before = self.server.rss_kb()
        results = []

        def one():
            results.append(request(self.port, "POST", "/api/preview?size=300", json.dumps(SCENE).encode())[0])
        threads = [threading.Thread(target=one) for _ in range(20)]
        for t in threads:
            t.start()
        peak = before
        while any(t.is_alive() for t in threads):
            peak = max(peak, self.server.rss_kb())
            threads[0].join(0.05)
        for t in threads:
            t.join()
        self.assertEqual(len(results), 20)
        self.assertTrue(all(s in (200, 503) for s in results), results)
        self.assertGreater(results.count(200), 0)
        print("20 previews: %d made, %d busy; memory %d MB before, %d MB peak"
              % (results.count(200), results.count(503), before // 1024, peak // 1024))
        self.assertLess(peak - before, 600 * 1024)
        self.assertStillServing()


if __name__ == "__main__":
    unittest.main()
