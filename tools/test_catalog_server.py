"""Checks the stand-in catalogue server: routing, files, faults, control API.

Run with: python3 -m unittest tools/test_catalog_server.py
"""

import http.client
import importlib.util
import http.cookiejar
import json
import os
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.parse
import urllib.request
import zlib

TOOLS = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(TOOLS, "catalog_server.py")

MAIN = "角色皮肤"
SUB = "猎人 套装"
PAK = bytes(range(256)) * 40 + b"tail"          # 10244 bytes
SIG = b"signature-bytes\n" * 8
COVER = b"\x89PNG\r\n\x1a\n" + b"\x00" * 100


def qt_style(text):
    """Escapes the way the client's URL class does: only what cannot stand in a URL."""
    return urllib.parse.quote(text, safe="/?&=:+;,@!$'()*~-._%")


def start_server(data_dir, *extra):
    proc = subprocess.Popen(
        [sys.executable, SERVER, "--data", data_dir, "--port", "0", *extra],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    line = proc.stdout.readline()
    if not line.startswith("PORT "):
        proc.kill()
        raise RuntimeError("server did not start: %r %s" % (line, proc.stderr.read()))
    return proc, int(line.split()[1])


def stop_server(proc):
    proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(5)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
        proc.stdout.close()
        proc.stderr.close()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data.encode("utf-8") if isinstance(data, str) else data)


def make_data(root):
    write(os.path.join(root, "catalog.json"), '[{"name": "狼皮", "skin_id": 1}]')
    write(os.path.join(root, "instructions.txt"), "使用说明\n第二行")
    skins = os.path.join(root, "skins", MAIN, SUB)
    write(os.path.join(skins, "files", "2024", "a+b=c.pak"), PAK)
    write(os.path.join(skins, "files", "2024", "a+b=c.sig"), SIG)
    write(os.path.join(root, "covers", MAIN, SUB, "封面 1.png"), COVER)
    write(os.path.join(root, "files", "Furlane.exe"), b"MZ-new-version")
    write(os.path.join(root, "secret.txt"), b"outside the served folders")


class ServerCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="furlane-server-")
        cls.data = os.path.join(cls.tmp, "data")
        make_data(cls.data)
        cls.proc, cls.port = start_server(cls.data)
        cls.base = "http://127.0.0.1:%d" % cls.port

    @classmethod
    def tearDownClass(cls):
        stop_server(cls.proc)
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def setUp(self):
        self.control("reset")

    def control(self, what, payload=None):
        data = None if payload is None else json.dumps(payload).encode()
        method = "GET" if what == "requests" and payload is None else "POST"
        req = urllib.request.Request(self.base + "/__control/" + what, data=data, method=method)
        with urllib.request.urlopen(req, timeout=5) as r:
            return json.loads(r.read().decode())

    def faults(self, *rules):
        self.control("faults", list(rules))

    def request(self, method, target, timeout=5):
        """Returns (status, headers, body) over a fresh connection; raw target."""
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout)
        try:
            conn.request(method, qt_style(target))
            resp = conn.getresponse()
            return resp.status, resp, resp.read()
        finally:
            conn.close()

    def skin_target(self, prefix="", key="pak_original", name="files/2024/a+b=c.pak",
                    main=MAIN, sub=SUB):
        return "%s/subcutaneous/index_skin_download.php?MainCategory=%s&subcategory=%s&%s=%s" % (
            prefix, main, sub, key, name)


class RoutingTest(ServerCase):
    def test_text_endpoints_are_served_raw_and_reread_each_time(self):
        status, resp, body = self.request("GET", "/index_skins.php")
        self.assertEqual((status, resp.getheader("Content-Type")), (200, "application/json"))
        self.assertEqual(json.loads(body), [{"name": "狼皮", "skin_id": 1}])

        status, resp, body = self.request("GET", "/Instructions.php")
        self.assertEqual(resp.getheader("Content-Type"), "text/plain")
        self.assertEqual(body.decode(), "使用说明\n第二行")

        path = os.path.join(self.data, "catalog.json")
        with open(path, "rb") as f:
            original = f.read()
        ctype = os.path.join(self.data, "instructions.content-type")
        try:
            write(path, b"[{not json")
            write(ctype, "text/plain; charset=GBK\n")
            self.assertEqual(self.request("GET", "/index_skins.php")[2], b"[{not json")
            self.assertEqual(self.request("GET", "/Instructions.php")[1].getheader("Content-Type"),
                             "text/plain; charset=GBK")
        finally:
            write(path, original)
            os.remove(ctype)

    def test_address_and_version_defaults_then_files(self):
        status, _, body = self.request("GET", "/2/皮肤.php?name=furlane")
        self.assertEqual((status, body.decode()), (200, self.base))
        # Without the name query it is just an unknown path.
        self.assertEqual(self.request("GET", "/2/皮肤.php")[0], 404)

        status, _, body = self.request("GET", "/api1/")
        info = json.loads(body)
        self.assertEqual(info["Furlane代理版本"], "1.0")
        self.assertEqual(info["Furlane代理下载地址"], self.base + "/files/Furlane.exe")

        address = os.path.join(self.data, "address.txt")
        try:
            write(address, "  @@BASE@@/base/\r\n")
            self.assertEqual(self.request("GET", "/2/皮肤.php?name=x")[2].decode(),
                             "  %s/base/\r\n" % self.base)
        finally:
            os.remove(address)

        status, _, body = self.request("GET", "/files/Furlane.exe")
        self.assertEqual((status, body), (200, b"MZ-new-version"))

    def test_skin_files_below_any_base(self):
        for prefix in ("", "/2/皮肤.php", "/base/", "//"):
            with self.subTest(prefix=prefix):
                status, resp, body = self.request("GET", self.skin_target(prefix))
                self.assertEqual(status, 200)
                self.assertEqual(body, PAK)

        status, resp, body = self.request("HEAD", self.skin_target())
        self.assertEqual((status, resp.getheader("Content-Length"), body), (200, str(len(PAK)), b""))

        sig = self.skin_target(key="sig_original", name="files\\2024\\a+b=c.sig")
        self.assertEqual(self.request("GET", sig)[2], SIG)

        cover = "/2/皮肤.php/subcutaneous/index_image_download.php?MainCategory=%s&subcategory=%s&cover=封面 1.png" % (MAIN, SUB)
        status, resp, body = self.request("GET", cover)
        self.assertEqual((status, resp.getheader("Content-Type"), body), (200, "image/png", COVER))

    def test_missing_or_escaping_files_are_404(self):
        bad = {
            "missing file": self.skin_target(name="files/none.pak"),
            "no file key": "/subcutaneous/index_skin_download.php?MainCategory=%s&subcategory=%s" % (MAIN, SUB),
            "empty subcategory": self.skin_target(sub=""),
            "dotdot in file": self.skin_target(name="../../../secret.txt"),
            "dotdot as category": self.skin_target(main="..", sub="..", name="secret.txt"),
            "absolute file": self.skin_target(name="/etc/passwd"),
            "backslash in category": self.skin_target(main="a\\..", name="x"),
            "files escape": "/files/../secret.txt",
            "files escape encoded": "/files/%2E%2E/secret.txt",
            "unknown endpoint": "/nothing.php",
        }
        for case, target in bad.items():
            with self.subTest(case):
                self.assertEqual(self.request("GET", target)[0], 404)

    def test_request_log_records_decoded_path_raw_query_and_headers(self):
        target = self.skin_target(prefix="/2/皮肤.php")
        self.request("HEAD", target)
        log = self.control("requests")
        self.assertEqual(len(log), 1)
        self.assertEqual(log[0]["method"], "HEAD")
        self.assertEqual(log[0]["path"], "/2/皮肤.php/subcutaneous/index_skin_download.php")
        self.assertEqual(log[0]["query"], qt_style(target).split("?", 1)[1])
        self.assertEqual(log[0]["headers"]["Host"], "127.0.0.1:%d" % self.port)


class FaultTest(ServerCase):
    def test_rules_match_method_and_are_spent_after_times(self):
        self.faults({"match": "a+b=c.pak", "method": "GET", "status": 404, "times": 2},
                    {"match": "index_skin_download", "status": 500})
        target = self.skin_target()
        self.assertEqual(self.request("HEAD", target)[0], 500, "HEAD skips the GET-only rule")
        self.assertEqual(self.request("GET", target)[0], 404)
        self.assertEqual(self.request("GET", target)[0], 404)
        self.assertEqual(self.request("GET", target)[0], 500, "first rule spent")
        # The decoded form matches as well as the raw one.
        self.faults({"match": "皮肤.php/index_skins", "body": "[]"})
        self.assertEqual(self.request("GET", "/2/皮肤.php/index_skins.php")[2], b"[]")

    def test_malformed_rules_are_refused(self):
        for payload in ('{"status": 404}', "[1]", "not json", '[{"match": "x", "colour": 1}]'):
            with self.subTest(payload=payload):
                req = urllib.request.Request(self.base + "/__control/faults",
                                             data=payload.encode(), method="POST")
                with self.assertRaises(urllib.error.HTTPError) as ctx:
                    urllib.request.urlopen(req, timeout=5)
                self.assertEqual(ctx.exception.code, 400)
                ctx.exception.close()

    def test_cut_and_content_length_faults_break_the_body(self):
        target = self.skin_target()
        self.faults({"match": "pak", "cut_after": 1000, "times": 1})
        with self.assertRaises(http.client.IncompleteRead) as ctx:
            self.request("GET", target)
        self.assertEqual(ctx.exception.partial, PAK[:1000])

        self.faults({"match": "pak", "content_length": len(PAK) + 500, "times": 1})
        with self.assertRaises(http.client.IncompleteRead) as ctx:
            self.request("GET", target)
        self.assertEqual(ctx.exception.partial, PAK)

        self.faults({"match": "pak", "content_length": 10})
        status, resp, body = self.request("HEAD", target)
        self.assertEqual(resp.getheader("Content-Length"), "10")
        self.assertEqual(self.request("GET", target)[2], PAK[:10])

        self.faults({"match": "pak", "content_length": "none"})
        status, resp, body = self.request("GET", target)
        self.assertIsNone(resp.getheader("Content-Length"))
        self.assertEqual(body, PAK)

        self.faults({"match": "pak", "drop": True})
        with self.assertRaises(http.client.RemoteDisconnected):
            self.request("GET", target)

    def test_keep_alive_survives_a_normal_response(self):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=5)
        try:
            for method in ("HEAD", "GET", "GET"):
                conn.request(method, qt_style(self.skin_target()))
                resp = conn.getresponse()
                resp.read()
                self.assertEqual(resp.status, 200)
        finally:
            conn.close()
        self.assertEqual(len(self.control("requests")), 3)

    def test_redirect_and_cookie_are_honoured_by_a_client(self):
        self.faults({"match": "/old/index_skins.php", "redirect": "/new/index_skins.php",
                     "set_cookie": "session=abc123; Path=/"})
        jar = http.cookiejar.CookieJar()
        opener = urllib.request.build_opener(urllib.request.HTTPCookieProcessor(jar))
        with opener.open(self.base + "/old/index_skins.php", timeout=5) as r:
            self.assertEqual(json.loads(r.read()), [{"name": "狼皮", "skin_id": 1}])
        log = self.control("requests")
        self.assertEqual([e["path"] for e in log], ["/old/index_skins.php", "/new/index_skins.php"])
        self.assertNotIn("Cookie", log[0]["headers"])
        self.assertEqual(log[1]["headers"].get("Cookie"), "session=abc123")

    def test_stall_holds_one_connection_without_blocking_others(self):
        self.faults({"match": "pak", "stall_after": 100, "stall": 2})
        got = {}

        def slow():
            started = time.monotonic()
            got["body"] = self.request("GET", self.skin_target(), timeout=10)[2]
            got["elapsed"] = time.monotonic() - started

        worker = threading.Thread(target=slow)
        worker.start()
        time.sleep(0.3)
        started = time.monotonic()
        self.assertEqual(self.request("GET", "/index_skins.php", timeout=3)[0], 200)
        self.assertLess(time.monotonic() - started, 1.0)
        worker.join(10)
        # After the stall the rest of the body follows.
        self.assertEqual(got["body"], PAK)
        self.assertGreaterEqual(got["elapsed"], 1.9)

    def test_delay_holds_back_the_headers(self):
        self.faults({"match": "Instructions", "delay": 0.6})
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=0.2)
        try:
            conn.request("GET", "/Instructions.php")
            with self.assertRaises(socket.timeout):
                conn.getresponse()
        finally:
            conn.close()


@unittest.skipUnless(shutil.which("curl"), "needs the curl command")
class RangeTest(ServerCase):
    """File answers in byte ranges, checked with curl as the client."""

    def curl(self, *args, target=None, fresh=False):
        """Runs curl on a skin file; returns (exit code, status, headers, body).
        The body file is kept for a resume unless `fresh`."""
        out = os.path.join(self.tmp, "curl.out")
        if fresh and os.path.exists(out):
            os.remove(out)
        url = self.base + qt_style(target or self.skin_target())
        run = subprocess.run(["curl", "-s", "-D", "-", "-o", out, *args, url],
                             capture_output=True, timeout=20)
        lines = run.stdout.decode("latin-1").split("\r\n")
        status = int(lines[0].split()[1]) if lines[0] else 0
        headers = dict(l.split(": ", 1) for l in lines[1:] if ": " in l)
        if not os.path.exists(out):   # curl writes no file for an empty body
            return run.returncode, status, headers, b""
        with open(out, "rb") as f:
            return run.returncode, status, headers, f.read()

    def test_ranges_and_validators_as_a_web_server_answers_them(self):
        _, status, full, body = self.curl()
        self.assertEqual((status, body, full["Accept-Ranges"]), (200, PAK, "bytes"))
        etag, modified, size = full["ETag"], full["Last-Modified"], len(PAK)
        cases = [
            # (name, curl arguments, rule, status, Content-Range, body)
            ("open range", ["-r", "1000-"], None, 206, "bytes 1000-%d/%d" % (size - 1, size), PAK[1000:]),
            ("closed range", ["-r", "0-9"], None, 206, "bytes 0-9/%d" % size, PAK[:10]),
            ("suffix", ["-r", "-100"], None, 206, "bytes %d-%d/%d" % (size - 100, size - 1, size), PAK[-100:]),
            ("end past the size", ["-r", "10000-99999"], None, 206, "bytes 10000-%d/%d" % (size - 1, size),
             PAK[10000:]),
            ("start at the size", ["-r", "%d-" % size], None, 416, "bytes */%d" % size, None),
            ("If-Range with the ETag", ["-r", "5-", "-H", "If-Range: " + etag], None, 206, None, PAK[5:]),
            ("If-Range with the date", ["-r", "5-", "-H", "If-Range: " + modified], None, 206, None, PAK[5:]),
            ("If-Range with another ETag", ["-r", "5-", "-H", 'If-Range: "other"'], None, 200, None, PAK),
            ("several ranges: whole file", ["-r", "0-1,5-6"], None, 200, None, PAK),
            ("rule: server without ranges", ["-r", "5-"], {"no_ranges": True}, 200, None, PAK),
            ("rule replaced the body", ["-r", "1-"], {"body": "xyz"}, 200, None, b"xyz"),
            ("rule: 206 without its date", ["-r", "5-", "-H", "If-Range: " + modified],
             {"partial_without": ["Last-Modified"]}, 206, None, PAK[5:]),
        ]
        for name, args, rule, want_status, want_range, want_body in cases:
            with self.subTest(name):
                self.faults(*([dict(rule, match="pak")] if rule else []))
                _, status, headers, body = self.curl(*args)
                self.assertEqual(status, want_status)
                if want_range:
                    self.assertEqual(headers.get("Content-Range"), want_range)
                if rule and "partial_without" in rule:
                    self.assertNotIn("Last-Modified", headers)
                    self.assertEqual(headers.get("ETag"), etag)
                if want_body is not None:
                    self.assertEqual(body, want_body)
                    self.assertEqual(headers["Content-Length"], str(len(want_body)))

        # A rewritten file has new validators: the old ETag gets it whole.
        self.faults()
        path = os.path.join(self.data, "skins", MAIN, SUB, "files", "2024", "a+b=c.pak")
        try:
            write(path, PAK[::-1])
            _, status, headers, body = self.curl("-r", "5-", "-H", "If-Range: " + etag)
            self.assertEqual((status, body), (200, PAK[::-1]))
            self.assertNotEqual(headers["ETag"], etag)
        finally:
            write(path, PAK)

    def test_conditional_requests_as_a_web_server_answers_them(self):
        _, _, full, _ = self.curl(fresh=True)
        etag, modified = full["ETag"], full["Last-Modified"]
        earlier = "Mon, 01 Jan 2001 00:00:00 GMT"
        cases = [
            # (name, request headers, rule, status)
            ("same ETag", ["If-None-Match: " + etag], None, 304),
            ("ETag among others, weak form", ['If-None-Match: "x", W/' + etag], None, 304),
            ("any ETag", ["If-None-Match: *"], None, 304),
            ("other ETag", ['If-None-Match: "other"'], None, 200),
            ("other ETag outweighs a later date", ['If-None-Match: "other"', "If-Modified-Since: " + modified],
             None, 200),
            ("date of the file", ["If-Modified-Since: " + modified], None, 304),
            ("earlier date", ["If-Modified-Since: " + earlier], None, 200),
            ("unreadable date", ["If-Modified-Since: yesterday"], None, 200),
            ("rule: the server claims another ETag", ["If-None-Match: " + etag],
             {"validators": {"etag": '"claimed"'}}, 200),
            ("rule: the claimed ETag", ['If-None-Match: "claimed"'], {"validators": {"etag": '"claimed"'}}, 304),
            ("rule: date only", ["If-None-Match: " + etag, "If-Modified-Since: " + modified],
             {"validators": {"etag": None}}, 200),
            ("rule: no validators", ["If-None-Match: *", "If-Modified-Since: " + modified],
             {"validators": {"etag": None, "last_modified": None}}, 200),
            ("rule: status replaces the answer", ["If-None-Match: " + etag], {"status": 404}, 404),
            ("rule: ETag tagged with the coding asked for", ["Accept-Encoding: gzip, deflate", "If-None-Match: " + etag],
             {"coding_etag": True}, 200),
            ("rule: ETag untagged for identity", ["Accept-Encoding: identity", "If-None-Match: " + etag],
             {"coding_etag": True}, 304),
        ]
        for method in ("GET", "HEAD"):
            for name, headers, rule, want_status in cases:
                with self.subTest(method + ": " + name):
                    self.faults(*([dict(rule, match="pak")] if rule else []))
                    args = [] if method == "GET" else ["-I"]
                    for header in headers:
                        args += ["-H", header]
                    _, status, got, body = self.curl(*args, fresh=True)
                    self.assertEqual(status, want_status)
                    if want_status == 304:
                        sent = (rule or {}).get("validators", {}).get("etag", etag)
                        self.assertEqual((got.get("ETag"), got.get("Last-Modified")), (sent, modified))
                        self.assertNotIn("Content-Length", got)
                        if method == "GET":
                            self.assertEqual(body, b"")
                    elif want_status == 200 and method == "GET":
                        self.assertEqual(body, PAK)
                    if rule and rule.get("validators") == {"etag": None, "last_modified": None}:
                        self.assertNotIn("ETag", got)
                        self.assertNotIn("Last-Modified", got)
        out = os.path.join(self.tmp, "curl.out")
        if os.path.exists(out):
            os.remove(out)   # the resume test starts without one

    def test_cut_k_times_then_curl_resumes_to_the_whole_file(self):
        self.faults({"match": "pak", "method": "GET", "cut_after": 3000, "times": 2})
        codes = [self.curl("-C", "-")[0] for _ in range(3)]
        self.assertEqual(codes, [18, 18, 0])   # 18: transfer partial
        with open(os.path.join(self.tmp, "curl.out"), "rb") as f:
            self.assertEqual(f.read(), PAK)
        log = self.control("requests")
        self.assertEqual([(e["status"], e["sent"], e["headers"].get("Range")) for e in log],
                         [(200, 3000, None), (206, 3000, "bytes=3000-"), (206, len(PAK) - 6000, "bytes=6000-")])


class LifecycleTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="furlane-server-")
        make_data(self.tmp)

    def tearDown(self):
        shutil.rmtree(self.tmp, ignore_errors=True)

    def test_sigterm_ends_server_despite_a_stalled_transfer(self):
        proc, port = start_server(self.tmp)
        try:
            rule = json.dumps([{"match": "Furlane.exe", "stall_after": 1}]).encode()
            urllib.request.urlopen(urllib.request.Request(
                "http://127.0.0.1:%d/__control/faults" % port, data=rule), timeout=5).close()
            conn = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
            conn.request("GET", "/files/Furlane.exe")
            conn.getresponse()
            started = time.monotonic()
            proc.send_signal(signal.SIGTERM)
            proc.wait(3)
            self.assertLess(time.monotonic() - started, 2.0)
            conn.close()
        finally:
            stop_server(proc)

    @unittest.skipUnless(shutil.which("openssl"), "needs the openssl command")
    def test_tls_serves_with_the_given_certificate(self):
        cert = os.path.join(self.tmp, "cert.pem")
        key = os.path.join(self.tmp, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                        "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                        "-keyout", key, "-out", cert],
                       check=True, capture_output=True)
        proc, port = start_server(self.tmp, "--tls-cert", cert, "--tls-key", key)
        try:
            url = "https://127.0.0.1:%d/2/%s?name=x" % (port, urllib.parse.quote("皮肤.php"))
            trusted = ssl.create_default_context(cafile=cert)
            with urllib.request.urlopen(url, context=trusted, timeout=5) as r:
                self.assertEqual(r.read().decode(), "https://127.0.0.1:%d" % port)
            with self.assertRaises(urllib.error.URLError) as ctx:
                urllib.request.urlopen(url, context=ssl.create_default_context(), timeout=5)
            self.assertIsInstance(ctx.exception.reason, ssl.SSLCertVerificationError)
        finally:
            stop_server(proc)


def load_generator():
    spec = importlib.util.spec_from_file_location("make_demo_data", os.path.join(TOOLS, "make_demo_data.py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


class DemoDataTest(unittest.TestCase):
    """The generator's own encoders and catalogue, without writing the full data set."""

    @classmethod
    def setUpClass(cls):
        cls.gen = load_generator()

    def canvas(self, width, height):
        c = self.gen.Canvas(width, height)
        c.vertical_gradient((0, 0, 0), (250, 100, 20))
        c.rect(2, 3, 7, 6, (10, 200, 30))
        c.circle(width - 5, height - 5, 3, (255, 255, 255))
        return c

    def test_png_round_trips_pixels(self):
        c = self.canvas(13, 9)
        png = self.gen.encode_png(c)
        self.assertTrue(png.startswith(b"\x89PNG\r\n\x1a\n"))
        pos, idat = 8, b""
        while pos < len(png):
            length = int.from_bytes(png[pos:pos + 4], "big")
            kind, data = png[pos + 4:pos + 8], png[pos + 8:pos + 8 + length]
            crc = int.from_bytes(png[pos + 8 + length:pos + 12 + length], "big")
            self.assertEqual(zlib.crc32(kind + data), crc, kind)
            if kind == b"IHDR":
                self.assertEqual((int.from_bytes(data[:4], "big"), int.from_bytes(data[4:8], "big")), (13, 9))
            idat += data if kind == b"IDAT" else b""
            pos += 12 + length
        raw = zlib.decompress(idat)
        stride = 13 * 3 + 1
        self.assertEqual(raw, b"".join(b"\x00" + bytes(row) for row in c.rows))
        self.assertEqual(raw[4 * stride + 1 + 3 * 3:4 * stride + 1 + 4 * 3], bytes((10, 200, 30)))

    def test_jpeg_structure_for_sizes_not_multiple_of_eight(self):
        jpeg = self.gen.JpegEncoder().encode(self.canvas(21, 11))
        self.assertTrue(jpeg.startswith(b"\xff\xd8") and jpeg.endswith(b"\xff\xd9"))
        sof = jpeg.index(b"\xff\xc0")
        self.assertEqual((int.from_bytes(jpeg[sof + 5:sof + 7], "big"),
                          int.from_bytes(jpeg[sof + 7:sof + 9], "big")), (11, 21))
        sos = jpeg.index(b"\xff\xda")
        scan = jpeg[sos + 2 + int.from_bytes(jpeg[sos + 2:sos + 4], "big"):-2]
        self.assertTrue(scan)
        # Every 0xFF inside entropy-coded data must be stuffed.
        for i, byte in enumerate(scan):
            if byte == 0xFF:
                self.assertEqual(scan[i + 1], 0)

    def test_catalogue_is_deterministic_and_installable(self):
        records, files = self.gen.build_records(__import__("random").Random(7))
        again, _ = self.gen.build_records(__import__("random").Random(7))
        self.assertEqual(records, again)
        self.assertGreaterEqual(len(records), 40)
        self.assertGreaterEqual(len({r["MainCategory"] for r in records}), 3)
        required = ("name", "MainCategory", "subcategory", "pak_original", "sig_original")
        complete = [r for r in records if all(r.get(k) for k in required)]
        self.assertLess(len(complete), len(records), "some incomplete records must remain")
        # Installed files share one folder, named by their last path component.
        leaf = lambda p: p.replace("\\", "/").rsplit("/", 1)[-1]
        names = [leaf(r[k]) for r in complete for k in ("pak_original", "sig_original")]
        self.assertEqual(len(names), len(set(names)))
        served = [r for r in complete
                  if "skins/%s/%s/%s" % (r["MainCategory"], r["subcategory"],
                                         r["sig_original"].replace("\\", "/")) in files]
        self.assertGreaterEqual(len(served), len(complete) - 1)

    def test_demo_home_holds_a_current_an_outdated_and_a_damaged_skin(self):
        tmp = tempfile.mkdtemp(prefix="furlane-demo-home-")
        self.addCleanup(shutil.rmtree, tmp, True)
        data, home = os.path.join(tmp, "data"), os.path.join(tmp, "home")
        records, files = self.gen.build_records(__import__("random").Random(1))
        write(os.path.join(data, "catalog.json"), json.dumps(records, ensure_ascii=False))
        for rel, (kind, arg, _) in files.items():
            if kind == "bytes":
                write(os.path.join(data, *rel.split("/")), self.gen.pseudo_random_bytes(arg, 3000))
        proc, port = start_server(data)
        self.addCleanup(stop_server, proc)
        shown = self.gen.write_demo_home(data, home, "http://127.0.0.1:%d" % port, log=lambda *_: None)

        steam = os.path.join(os.path.realpath(home), ".local", "share", "Steam")
        with open(os.path.join(steam, "steamapps", "libraryfolders.vdf"), encoding="utf-8") as f:
            self.assertIn('"path"\t\t"%s"' % steam, f.read())
        with open(os.path.join(steam, "steamapps", "appmanifest_1418630.acf"), encoding="utf-8") as f:
            self.assertIn('"name"\t\t"Dread Hunger"', f.read())
        game = os.path.join(steam, "steamapps", "common", "Dread Hunger")
        self.assertTrue(os.path.isfile(os.path.join(game, *self.gen.BASE_PACKAGE)))
        with open(os.path.join(home, ".local", "share", "Furlane", "installed_skins.json"), encoding="utf-8") as f:
            store = json.load(f)
        by_name = {entry["skin_id"]: entry for entry in store["skins"]}
        self.assertEqual(sorted(by_name), sorted(shown.values()))
        for state, name in shown.items():
            entry = by_name[name]
            self.assertEqual(entry["mod_folder"], os.path.join(game, *self.gen.MOD_SUBDIR))
            pak = entry["files"][0]
            # The update check's question, as the app asks it.
            conn = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
            conn.request("HEAD", qt_style(pak["url"].split(str(port), 1)[1]),
                         headers={"If-None-Match": pak["etag"], "If-Modified-Since": pak["last_modified"]})
            status = conn.getresponse().status
            conn.close()
            self.assertEqual(status, 200 if state == "outdated" else 304, state)
            on_disk = [os.path.getsize(os.path.join(entry["mod_folder"], f["path"])) for f in entry["files"]]
            recorded = [f["size"] for f in entry["files"]]
            if state == "damaged":
                self.assertLess(on_disk[0], recorded[0])
            else:
                self.assertEqual(on_disk, recorded, state)

        # A folder that is not a demo home is never wiped.
        mine = os.path.join(tmp, "mine")
        write(os.path.join(mine, "keep.txt"), "mine")
        with self.assertRaises(SystemExit):
            self.gen.write_demo_home(data, mine, log=lambda *_: None)
        self.assertEqual(os.listdir(mine), ["keep.txt"])


if __name__ == "__main__":
    unittest.main()
