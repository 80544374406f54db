#!/usr/bin/env python3
"""Stand-in catalogue/update server for Furlane's tests and demo.

Serves the catalogue, instructions, covers, skin files, the version record
and update files out of a data directory, and injects network faults on
request through a small control API under /__control/.

    python3 tools/catalog_server.py --data DIR [--port N] [--host 127.0.0.1]
                                    [--tls-cert CERT --tls-key KEY] [--verbose]

Once listening it prints one line "PORT <n>" to stdout. Everything is read
from DIR on every request, so a test may rewrite files while it runs.

Data folder (paths are matched by suffix, so any base prefix works):
  address.txt       .../2/皮肤.php?name=...   default: the server's own base
  catalog.json      .../index_skins.php       raw bytes, application/json
  instructions.txt  .../Instructions.php      text/plain, or the content of
                                              instructions.content-type
  covers/<MainCategory>/<subcategory>/<cover>
                    .../subcutaneous/index_image_download.php?MainCategory=&subcategory=&cover=
  skins/<MainCategory>/<subcategory>/<pak_original or sig_original>
                    .../subcutaneous/index_skin_download.php?...  (GET and HEAD)
  version.json      /api1/                    default: version "1.0", download
                                              address <base>/files/Furlane.exe
  files/<name>      .../files/<name>
File values may use '/' or '\\' as folder separators. "@@BASE@@" inside
address.txt or version.json becomes the server's base URL. Queries are split
on '&' and the first '=' and percent-decoded as UTF-8; '+' is kept.

Control API (not logged):
  POST /__control/faults    JSON list of rules, replacing the current ones
  GET  /__control/faults    the rules with their remaining "times"
  POST /__control/reset     clears rules and the request log
  GET  /__control/requests  [{"method", "path" (decoded), "query" (raw), "headers",
                             "status", "sent" (body bytes written)}]
  POST /__control/requests  clears the request log only
A rule: "match" (substring of decoded or raw path?query, required), "method",
"times", and effects: "status", "delay", "drop", "stall_after" + "stall",
"cut_after" (+ "cut_reset"), "content_length" (int or "none"), "redirect"
(the Location; "{query}" in it stands for the request's raw query),
"set_cookie", "body", "content_type", "headers", "rate" (body bytes per
second), "no_ranges" (answer as a server that knows nothing of ranges),
"validators" ({"etag": ..., "last_modified": ...}: the file's validators as
sent and compared with If-Range and the conditional headers; null leaves one
out), "ignore_if_range",
"ignore_range" (validators sent, Range ignored), "range_body": "whole" (a
206 that carries the whole file under the Content-Range asked for),
"partial_without" (names of headers a 206 leaves out, e.g. ["Last-Modified"],
still compared with If-Range), "chunked"
(body in chunked transfer coding, no Content-Length), "coding_etag" (like
Apache's mod_deflate: a request whose Accept-Encoding names gzip gets the
file's ETag tagged "-gzip", for a HEAD as for a GET). The
first live rule wins. Cutting the body of a path after N bytes, K times:
  {"match": PATH, "method": "GET", "cut_after": N, "times": K}
N counts the bytes of each answer, so on a resumed (ranged) request the cut
falls N bytes after the offset asked for. "range" limits a rule to requests
whose Range header is exactly that text ("" for none). A client may send one
request twice (Qt does, when a connection closes under it), so a rule bound to
the range it answers gives the same answer to both copies, where "times"
would count them apart.

Files (skins, covers, files/) are answered like a static web server does: with
ETag, Last-Modified and Accept-Ranges; a single "Range: bytes=" gets 206 with
Content-Range, an unsatisfiable one 416, and an "If-Range" that matches
neither validator the whole file with 200. An "If-None-Match" naming the
ETag (or "*"), or without one an "If-Modified-Since" at or after the
Last-Modified, gets 304 with the validators and no body.
"""

import argparse
import email.utils
import json
import re
import os
import signal
import socket
import ssl
import struct
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import unquote

# Replaced by the server's own base URL in address.txt and version.json, so
# demo data need not know the port it will be served on.
BASE_TOKEN = b"@@BASE@@"

ADDRESS_SUFFIX = "/2/皮肤.php"
CATALOG_SUFFIX = "/index_skins.php"
INSTRUCTIONS_SUFFIX = "/Instructions.php"
COVER_SUFFIX = "/subcutaneous/index_image_download.php"
SKIN_SUFFIX = "/subcutaneous/index_skin_download.php"
FILES_MARKER = "/files/"

CHUNK = 64 * 1024


def decode(text):
    """Percent-decodes as UTF-8; '+' stays '+' (the client never means a space)."""
    return unquote(text, encoding="utf-8", errors="replace")


def parse_query(raw):
    """Splits on '&' then on the first '='; the first occurrence of a key wins.

    Values arrive unescaped apart from what the client's URL class had to
    encode, so a value may itself contain '=' or '+'.
    """
    values = {}
    if not raw:
        return values
    for part in raw.split("&"):
        if not part:
            continue
        key, _, value = part.partition("=")
        key = decode(key)
        if key not in values:
            values[key] = decode(value)
    return values


def safe_component(name):
    return bool(name) and name not in (".", "..") and "/" not in name \
        and "\\" not in name and "\x00" not in name and ":" not in name


def safe_relative(path):
    """Splits a client-supplied relative file path into safe components.

    Both '/' and '\\' separate folders (records written on Windows use
    backslashes). Absolute paths, drive letters, '.', '..' and empty
    components give None.
    """
    if not path or path[0] in "/\\" or "\x00" in path:
        return None
    parts = path.replace("\\", "/").split("/")
    if all(safe_component(p) for p in parts):
        return parts
    return None


def ctype_for(data_head, name):
    if data_head.startswith(b"\x89PNG\r\n\x1a\n"):
        return "image/png"
    if data_head.startswith(b"\xff\xd8\xff"):
        return "image/jpeg"
    if data_head[:6] in (b"GIF87a", b"GIF89a"):
        return "image/gif"
    lower = name.lower()
    if lower.endswith(".json"):
        return "application/json"
    if lower.endswith(".txt"):
        return "text/plain"
    return "application/octet-stream"


class Body:
    """A response body held in memory, or a file on disk (or a byte range of it)."""

    def __init__(self, data=b"", path=None, start=0, length=None):
        self.data = data
        self.path = path
        self.start = start
        if path is None:
            self.size = len(data)
        else:
            self.size = os.path.getsize(path) - start if length is None else length

    def chunks(self):
        if self.path is None:
            for i in range(0, len(self.data), CHUNK):
                yield self.data[i:i + CHUNK]
            return
        left = self.size
        with open(self.path, "rb") as f:
            f.seek(self.start)
            while left > 0:
                block = f.read(min(CHUNK, left))
                if not block:
                    return
                left -= len(block)
                yield block


class Response:
    def __init__(self, status, body=None, ctype="text/plain"):
        self.status = status
        self.body = body if body is not None else Body()
        self.ctype = ctype
        self.headers = []
        # (ETag, Last-Modified) of a file answer that may be served in ranges.
        self.validators = None


def text_response(status, text):
    return Response(status, Body(text.encode("utf-8")), "text/plain; charset=utf-8")


def not_found():
    return text_response(404, "not found\n")


class State:
    """Fault rules and the request log, shared by all handler threads."""

    def __init__(self):
        self.lock = threading.Lock()
        self.rules = []
        self.log = []

    def set_rules(self, rules):
        with self.lock:
            self.rules = [dict(r) for r in rules]

    def reset(self):
        with self.lock:
            self.rules = []
            self.log = []

    def record(self, entry):
        with self.lock:
            self.log.append(entry)

    def take_rule(self, method, decoded, raw, range_header=""):
        """Returns the first live rule for this request, spending one use of it."""
        with self.lock:
            for rule in self.rules:
                want = rule.get("method")
                if want and want.upper() != method:
                    continue
                if "range" in rule and rule["range"] != range_header:
                    continue
                needle = rule["match"]
                if needle not in decoded and needle not in raw:
                    continue
                times = rule.get("times")
                if times is not None:
                    if times <= 0:
                        continue
                    rule["times"] = times - 1
                return dict(rule)
        return None


RULE_KEYS = {"match", "method", "range", "times", "status", "delay", "drop", "stall_after", "stall",
             "cut_after", "cut_reset", "content_length", "redirect", "set_cookie",
             "body", "content_type", "headers", "rate", "no_ranges", "validators",
             "ignore_if_range", "ignore_range", "range_body", "partial_without", "chunked",
             "coding_etag"}


def validate_rules(payload):
    """Returns (rules, None) or (None, error text)."""
    if isinstance(payload, dict):
        payload = [payload]
    if not isinstance(payload, list):
        return None, "expected a JSON list of rules"
    for i, rule in enumerate(payload):
        if not isinstance(rule, dict):
            return None, "rule %d is not an object" % i
        unknown = set(rule) - RULE_KEYS
        if unknown:
            return None, "rule %d has unknown keys: %s" % (i, ", ".join(sorted(unknown)))
        if not isinstance(rule.get("match"), str):
            return None, "rule %d needs a string 'match'" % i
        for key in ("times", "status", "stall_after", "cut_after"):
            if key in rule and (not isinstance(rule[key], int) or isinstance(rule[key], bool)):
                return None, "rule %d: '%s' must be an integer" % (i, key)
        for key in ("delay", "stall", "rate"):
            if key in rule and not isinstance(rule[key], (int, float)):
                return None, "rule %d: '%s' must be a number" % (i, key)
        cl = rule.get("content_length")
        if cl is not None and cl != "none" and (not isinstance(cl, int) or isinstance(cl, bool)):
            return None, "rule %d: 'content_length' must be an integer or \"none\"" % i
        if "range" in rule and not isinstance(rule["range"], str):
            return None, "rule %d: 'range' must be a string" % i
        if "method" in rule and str(rule["method"]).upper() not in ("GET", "HEAD", "POST"):
            return None, "rule %d: unsupported method" % i
        cookie = rule.get("set_cookie")
        if cookie is not None and not isinstance(cookie, (str, list)):
            return None, "rule %d: 'set_cookie' must be a string or a list" % i
        if "headers" in rule and not isinstance(rule["headers"], dict):
            return None, "rule %d: 'headers' must be an object" % i
        validators = rule.get("validators")
        if validators is not None and (not isinstance(validators, dict)
                                       or set(validators) - {"etag", "last_modified"}
                                       or not all(v is None or isinstance(v, str) for v in validators.values())):
            return None, "rule %d: 'validators' must map etag/last_modified to a string or null" % i
        if "range_body" in rule and rule["range_body"] != "whole":
            return None, "rule %d: 'range_body' must be \"whole\"" % i
        left_out = rule.get("partial_without")
        if left_out is not None and (not isinstance(left_out, list) or not all(isinstance(n, str) for n in left_out)):
            return None, "rule %d: 'partial_without' must be a list of header names" % i
        if "rate" in rule and not rule["rate"] > 0:
            return None, "rule %d: 'rate' must be above 0" % i
    return payload, None


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Small answers on a kept-alive connection otherwise wait for a delayed ACK.
    disable_nagle_algorithm = True
    server_version = "FurlaneStandIn/1.0"
    # Idle keep-alive connections are dropped after this many seconds.
    timeout = 300

    # -- plumbing ---------------------------------------------------------

    def setup(self):
        # TLS handshakes run here, on the connection's own thread, so a client
        # that never completes one cannot hold up the accept loop.
        if isinstance(self.request, ssl.SSLSocket):
            self.request.settimeout(self.timeout)
            self.request.do_handshake()
        super().setup()

    def version_string(self):
        return self.server_version

    def log_message(self, fmt, *args):
        if self.server.verbose:
            sys.stderr.write("%s - %s\n" % (self.address_string(), fmt % args))

    def do_GET(self):
        self.dispatch("GET")

    def do_HEAD(self):
        self.dispatch("HEAD")

    def do_POST(self):
        self.dispatch("POST")

    def read_request_body(self):
        length = self.headers.get("Content-Length")
        if not length:
            return b""
        try:
            n = int(length)
        except ValueError:
            self.close_connection = True
            return b""
        return self.rfile.read(max(n, 0))

    @property
    def base_url(self):
        scheme = "https" if self.server.tls else "http"
        return "%s://127.0.0.1:%d" % (scheme, self.server.server_port)

    # -- routing ----------------------------------------------------------

    def dispatch(self, method):
        target = self.path
        if "://" in target.split("?", 1)[0]:
            # Absolute-form request target: keep only the path and query.
            rest = target.split("://", 1)[1]
            target = "/" + rest.split("/", 1)[1] if "/" in rest else "/"
        raw_path, _, raw_query = target.partition("?")
        raw_path = raw_path.split("#", 1)[0]
        path = decode(raw_path)
        request_body = self.read_request_body()

        if path.startswith("/__control/"):
            self.control(method, path, request_body)
            return

        entry = {
            "method": method,
            "path": path,
            "query": raw_query,
            "headers": self.header_dict(),
            "status": None,
            "sent": 0,
        }
        self.server.state.record(entry)

        self.raw_query = raw_query
        decoded_full = path + "?" + decode(raw_query)
        raw_full = raw_path + "?" + raw_query
        rule = self.server.state.take_rule(method, decoded_full, raw_full, self.headers.get("Range", ""))
        if rule and rule.get("delay"):
            time.sleep(float(rule["delay"]))
        if rule and rule.get("drop"):
            # Accepted, then closed without a single byte of response.
            self.cut(rule.get("cut_reset", False))
            return

        if method == "POST":
            response = text_response(405, "method not allowed\n")
        else:
            try:
                response = self.route(path, parse_query(raw_query))
            except Exception as e:  # a broken data directory must still answer
                response = text_response(500, "server error: %s\n" % e)
        if rule:
            response = self.apply_rule(rule, response)
        if response.validators and not (rule or {}).get("no_ranges"):
            response = self.apply_range(response, rule or {})
        entry["status"] = response.status
        self.send(method, response, rule or {}, entry)

    def header_dict(self):
        headers = {}
        for name, value in self.headers.items():
            headers[name] = headers[name] + ", " + value if name in headers else value
        return headers

    def route(self, path, query):
        data = self.server.data_dir
        if path.endswith(SKIN_SUFFIX):
            name = query.get("pak_original") or query.get("sig_original")
            return self.file_under(["skins"], query, name)
        if path.endswith(COVER_SUFFIX):
            return self.file_under(["covers"], query, query.get("cover"))
        if path.endswith(CATALOG_SUFFIX):
            return self.raw_file(os.path.join(data, "catalog.json"), "application/json")
        if path.endswith(INSTRUCTIONS_SUFFIX):
            ctype = "text/plain"
            ctype_file = os.path.join(data, "instructions.content-type")
            if os.path.isfile(ctype_file):
                with open(ctype_file, "r", encoding="utf-8") as f:
                    ctype = f.read().strip() or ctype
            return self.raw_file(os.path.join(data, "instructions.txt"), ctype)
        if path.endswith(ADDRESS_SUFFIX) and "name" in query:
            default = self.base_url.encode("ascii")
            return self.raw_file(os.path.join(data, "address.txt"), "text/plain",
                                 default=default, substitute=True)
        if path.endswith("/api1/") or path == "/api1":
            default = json.dumps({
                "Furlane代理版本": "1.0",
                "Furlane代理下载地址": self.base_url + "/files/Furlane.exe",
            }, ensure_ascii=False).encode("utf-8")
            return self.raw_file(os.path.join(data, "version.json"), "application/json",
                                 default=default, substitute=True)
        if FILES_MARKER in path:
            rel = safe_relative(path.split(FILES_MARKER, 1)[1])
            if rel is None:
                return not_found()
            return self.data_file(["files"] + rel)
        return not_found()

    def raw_file(self, path, ctype, default=None, substitute=False):
        try:
            with open(path, "rb") as f:
                data = f.read()
        except FileNotFoundError:
            if default is None:
                return not_found()
            data = default
        except OSError:
            return not_found()
        if substitute:
            data = data.replace(BASE_TOKEN, self.base_url.encode("ascii"))
        return Response(200, Body(data), ctype)

    def file_under(self, root, query, name):
        main = query.get("MainCategory", "")
        sub = query.get("subcategory", "")
        rel = safe_relative(name or "")
        if not safe_component(main) or not safe_component(sub) or rel is None:
            return not_found()
        return self.data_file(root + [main, sub] + rel)

    def data_file(self, parts):
        base = os.path.realpath(self.server.data_dir)
        full = os.path.realpath(os.path.join(base, *parts))
        if not full.startswith(base + os.sep) or not os.path.isfile(full):
            return not_found()
        try:
            with open(full, "rb") as f:
                head = f.read(16)
                st = os.fstat(f.fileno())
            response = Response(200, Body(path=full), ctype_for(head, full))
        except OSError:
            return not_found()
        # Like nginx: modification time and size, so a rewrite changes it.
        etag = '"%x-%x"' % (st.st_mtime_ns, st.st_size)
        modified = email.utils.formatdate(st.st_mtime, usegmt=True)
        response.validators = (etag, modified)
        return response

    # -- faults -----------------------------------------------------------

    def apply_rule(self, rule, response):
        if "redirect" in rule:
            status = rule.get("status", 302)
            if not 300 <= status < 400:
                status = 302
            response = text_response(status, "redirect\n")
            response.headers.append(("Location", rule["redirect"].replace("{query}", self.raw_query)))
        elif "status" in rule:
            status = rule["status"]
            reason = self.responses.get(status, ("",))[0]
            response = text_response(status, ("%d %s\n" % (status, reason)))
        if "body" in rule:
            response.body = Body(str(rule["body"]).encode("utf-8"))
            if "status" not in rule and "redirect" not in rule:
                response.status = 200
                response.ctype = "text/plain; charset=utf-8"
        if "content_type" in rule:
            response.ctype = rule["content_type"]
        cookies = rule.get("set_cookie")
        if cookies:
            for cookie in [cookies] if isinstance(cookies, str) else cookies:
                response.headers.append(("Set-Cookie", str(cookie)))
        for name, value in rule.get("headers", {}).items():
            response.headers.append((str(name), str(value)))
        return response

    # -- ranges -----------------------------------------------------------

    RANGE = re.compile(r"^bytes=(\d*)-(\d*)$")

    def apply_range(self, response, rule):
        """Validators on a file answer; 206 or 416 for a single byte range.

        Applies only to the untouched file answer (a rule that replaced the
        status or the body leaves it alone). Several ranges, or a Range
        that cannot be read, get the whole file, as HTTP allows.
        """
        if response.status != 200 or response.body.path is None:
            return response
        etag, modified = response.validators
        override = rule.get("validators", {})
        etag = override.get("etag", etag)
        modified = override.get("last_modified", modified)
        accepted = (self.headers.get("Accept-Encoding") or "").lower()
        if rule.get("coding_etag") and etag is not None and "gzip" in accepted:
            etag = etag[:-1] + '-gzip"' if etag.endswith('"') else etag + "-gzip"
        for name, value in (("ETag", etag), ("Last-Modified", modified)):
            if value is not None:
                response.headers.append((name, value))
        if self.not_modified(etag, modified):
            unchanged = Response(304, ctype=None)
            unchanged.headers = list(response.headers)
            return unchanged
        response.headers.append(("Accept-Ranges", "bytes"))
        wanted = self.headers.get("Range")
        if wanted is None or rule.get("ignore_range"):
            return response
        if_range = self.headers.get("If-Range")
        if (if_range is not None and not rule.get("ignore_if_range")
                and if_range.strip() not in [v for v in (etag, modified) if v is not None]):
            return response
        match = self.RANGE.match(wanted.replace(" ", ""))
        if not match or match.group(1) == match.group(2) == "":
            return response
        size = response.body.size
        if match.group(1) == "":
            first = max(size - int(match.group(2)), 0)
            last = size - 1
            satisfiable = int(match.group(2)) > 0 and size > 0
        else:
            first = int(match.group(1))
            last = min(int(match.group(2)), size - 1) if match.group(2) else size - 1
            if match.group(2) and int(match.group(2)) < first:
                return response
            satisfiable = first < size
        if not satisfiable:
            refused = text_response(416, "range not satisfiable\n")
            refused.headers = [("Content-Range", "bytes */%d" % size)] + response.headers
            return refused
        if rule.get("range_body") == "whole":
            first_sent, length = 0, None
        else:
            first_sent, length = first, last - first + 1
        partial = Response(206, Body(path=response.body.path, start=first_sent, length=length), response.ctype)
        left_out = {name.lower() for name in rule.get("partial_without", [])}
        partial.headers = [(name, value) for name, value in response.headers if name.lower() not in left_out]
        partial.headers.append(("Content-Range", "bytes %d-%d/%d" % (first, last, size)))
        return partial

    def not_modified(self, etag, modified):
        """Whether If-None-Match or, without it, If-Modified-Since lets the
        client keep its copy. If-None-Match compares weakly, as for a GET;
        a file without validators is never unchanged."""
        if_none_match = self.headers.get("If-None-Match")
        if if_none_match is not None:
            if etag is None:
                return False
            tags = [t.strip() for t in if_none_match.split(",")]
            bare = lambda tag: tag[2:] if tag.startswith("W/") else tag
            return "*" in tags or bare(etag) in [bare(t) for t in tags]
        since = self.headers.get("If-Modified-Since")
        if since is None or modified is None:
            return False
        try:
            since_time = email.utils.parsedate_to_datetime(since)
            modified_time = email.utils.parsedate_to_datetime(modified)
            return since_time >= modified_time
        except (TypeError, ValueError):
            # An unreadable date is ignored, as HTTP says.
            return False

    # -- output -----------------------------------------------------------

    def send(self, method, response, rule, entry):
        self.sent = 0
        try:
            self.send_response_with(method, response, rule)
        finally:
            # What went on the wire, even when the answer was cut or failed.
            with self.server.state.lock:
                entry["sent"] = self.sent

    def write_body(self, data, rate, started):
        if self.chunked:
            self.wfile.write(b"%x\r\n" % len(data) + data + b"\r\n")
        else:
            self.wfile.write(data)
        self.sent += len(data)
        if rate:
            ahead = self.sent / rate - (time.monotonic() - started)
            if ahead > 0:
                self.wfile.flush()
                time.sleep(ahead)

    def send_response_with(self, method, response, rule):
        lie = rule.get("content_length")
        self.send_response(response.status)
        if response.ctype:
            self.send_header("Content-Type", response.ctype)
        for name, value in response.headers:
            self.send_header(name, value)
        chunked = bool(rule.get("chunked")) and method != "HEAD"
        self.chunked = False   # the headers go out plain
        if chunked:
            self.send_header("Transfer-Encoding", "chunked")
        elif response.status == 304:
            pass   # no body, and the file's own length is not repeated
        elif lie is None:
            self.send_header("Content-Length", str(response.body.size))
        elif lie != "none":
            self.send_header("Content-Length", str(lie))
        if lie is not None or self.close_connection:
            # A false or missing length leaves the client no way to find the
            # next response on this connection.
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        self.chunked = chunked
        if method == "HEAD":
            # No body: a stall or a cut takes effect right after the headers.
            self.wfile.flush()
            if rule.get("stall_after") is not None:
                time.sleep(float(rule.get("stall", 3600)))
            if rule.get("cut_after") is not None:
                self.cut(rule.get("cut_reset", False))
            return

        stall_after = rule.get("stall_after")
        cut_after = rule.get("cut_after")
        rate = rule.get("rate")
        started = time.monotonic()
        stalled = False
        for block in response.body.chunks():
            while block:
                limit = len(block)
                if rate:
                    # Small writes keep a throttled answer smooth.
                    limit = min(limit, max(int(rate) // 50, 1024))
                if stall_after is not None and not stalled:
                    limit = min(limit, max(stall_after - self.sent, 0))
                if cut_after is not None:
                    limit = min(limit, max(cut_after - self.sent, 0))
                if limit:
                    self.write_body(block[:limit], rate, started)
                    block = block[limit:]
                if stall_after is not None and not stalled and self.sent >= stall_after:
                    self.wfile.flush()
                    stalled = True
                    time.sleep(float(rule.get("stall", 3600)))
                if cut_after is not None and self.sent >= cut_after:
                    self.cut(rule.get("cut_reset", False))
                    return
        if stall_after is not None and not stalled:
            self.wfile.flush()
            time.sleep(float(rule.get("stall", 3600)))
        if cut_after is not None:
            self.cut(rule.get("cut_reset", False))
            return
        if chunked:
            self.wfile.write(b"0\r\n\r\n")
        self.wfile.flush()

    def cut(self, reset):
        self.wfile.flush()
        sock = self.connection
        if reset:
            # Linger 0: the close sends a TCP reset instead of an orderly FIN.
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        else:
            try:
                sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        self.close_connection = True
        sock.close()

    # -- control API ------------------------------------------------------

    def control(self, method, path, body):
        state = self.server.state
        endpoint = path[len("/__control/"):].strip("/")
        if endpoint == "faults" and method == "POST":
            try:
                payload = json.loads(body.decode("utf-8") or "null")
            except (ValueError, UnicodeDecodeError) as e:
                self.control_reply(400, {"error": "bad JSON: %s" % e})
                return
            rules, error = validate_rules(payload)
            if error:
                self.control_reply(400, {"error": error})
                return
            state.set_rules(rules)
            self.control_reply(200, {"ok": True, "rules": len(rules)})
        elif endpoint == "faults" and method in ("GET", "HEAD"):
            with state.lock:
                rules = [dict(r) for r in state.rules]
            self.control_reply(200, rules, method)
        elif endpoint == "reset" and method == "POST":
            state.reset()
            self.control_reply(200, {"ok": True})
        elif endpoint == "requests" and method in ("GET", "HEAD"):
            with state.lock:
                log = list(state.log)
            self.control_reply(200, log, method)
        elif endpoint == "requests" and method == "POST":
            # POST clears the log but keeps the rules.
            with state.lock:
                state.log = []
            self.control_reply(200, {"ok": True})
        else:
            self.control_reply(404, {"error": "unknown control request"})

    def control_reply(self, status, payload, method="POST"):
        data = json.dumps(payload, ensure_ascii=False).encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", "application/json; charset=utf-8")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if method != "HEAD":
            self.wfile.write(data)
        self.wfile.flush()


class Server(ThreadingHTTPServer):
    daemon_threads = True
    block_on_close = False
    allow_reuse_address = True

    def __init__(self, address, data_dir, tls_context=None, verbose=False):
        self.data_dir = data_dir
        self.tls = tls_context is not None
        self.verbose = verbose
        self.state = State()
        super().__init__(address, Handler)
        if tls_context is not None:
            self.socket = tls_context.wrap_socket(
                self.socket, server_side=True, do_handshake_on_connect=False)

    def handle_error(self, request, client_address):
        # Clients hang up mid-response on purpose in the tests; stay quiet
        # about that unless asked.
        if self.verbose:
            super().handle_error(request, client_address)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Stand-in Furlane catalogue/update server")
    parser.add_argument("--data", required=True, help="data directory")
    parser.add_argument("--port", type=int, default=0, help="port, 0 for a free one (default)")
    parser.add_argument("--host", default="127.0.0.1", help="address to listen on")
    parser.add_argument("--tls-cert", help="PEM certificate chain; enables HTTPS")
    parser.add_argument("--tls-key", help="PEM private key for --tls-cert")
    parser.add_argument("--verbose", action="store_true", help="log every request to stderr")
    args = parser.parse_args(argv)

    if bool(args.tls_cert) != bool(args.tls_key):
        parser.error("--tls-cert and --tls-key go together")
    if not os.path.isdir(args.data):
        parser.error("data directory not found: %s" % args.data)

    context = None
    if args.tls_cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.tls_cert, args.tls_key)

    server = Server((args.host, args.port), os.path.abspath(args.data), context, args.verbose)

    def stop(signum, frame):
        # Handler threads are daemons; stalled ones must not delay the exit.
        try:
            sys.stdout.flush()
        finally:
            os._exit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)

    sys.stdout.write("PORT %d\n" % server.server_port)
    sys.stdout.flush()
    server.serve_forever(poll_interval=0.2)


if __name__ == "__main__":
    main()
