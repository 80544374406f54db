#!/usr/bin/env python3
"""Starts the Python test tools on behalf of test programs that run under Wine.

A Windows program under Wine cannot start a Linux python3 and keep a handle
on it, so the Windows test programs ask this relay instead:

    python3 tools/tool_relay.py [--port N]

It listens on 127.0.0.1 and prints one line "PORT <n>". A client connects,
sends one JSON line {"tool": NAME, "args": [...]}, where NAME is one of
catalog_server.py or make_demo_data.py in this folder, and then receives the
tool's standard output followed by a last line "EXIT <code>" when it ends.
Arguments that are Windows drive paths ("Z:\\tmp\\x", "C:/users/...") are
turned into Unix paths first. Closing the connection stops the tool. The
relay runs until it receives SIGTERM or SIGINT, and then stops its tools.
"""

import argparse
import json
import os
import re
import signal
import socket
import subprocess
import sys
import threading

TOOLS_DIR = os.path.dirname(os.path.abspath(__file__))
ALLOWED_TOOLS = ("catalog_server.py", "make_demo_data.py")
DRIVE_PATH = re.compile(r"^([A-Za-z]):[\\/]")

running = set()
running_lock = threading.Lock()


def unix_path(arg, prefix):
    """The Unix path of a Windows drive path; other arguments unchanged."""
    match = DRIVE_PATH.match(arg)
    if not match:
        return arg
    rest = arg[3:].replace("\\", "/")
    drive = match.group(1).lower()
    if drive == "z":
        return "/" + rest
    device = os.path.join(prefix, "dosdevices", drive + ":")
    return os.path.join(os.path.realpath(device), rest)


def wine_prefix():
    return os.environ.get("WINEPREFIX") or os.path.join(os.path.expanduser("~"), ".wine")


def read_request(conn):
    data = b""
    while b"\n" not in data:
        chunk = conn.recv(4096)
        if not chunk:
            return None
        data += chunk
        if len(data) > 65536:
            return None
    try:
        request = json.loads(data.split(b"\n", 1)[0].decode("utf-8"))
    except ValueError:
        return None
    if not isinstance(request, dict):
        return None
    return request


def serve_client(conn):
    with conn:
        request = read_request(conn)
        tool = request.get("tool") if request else None
        args = request.get("args", []) if request else []
        if tool not in ALLOWED_TOOLS or not isinstance(args, list) or not all(isinstance(a, str) for a in args):
            conn.sendall(b"EXIT 127\n")
            return
        prefix = wine_prefix()
        argv = [sys.executable, "-u", os.path.join(TOOLS_DIR, tool)] + [unix_path(a, prefix) for a in args]
        process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
        with running_lock:
            running.add(process)

        # The client hanging up stops the tool.
        def watch_client():
            try:
                while conn.recv(4096):
                    pass
            except OSError:
                pass
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(3)
                except subprocess.TimeoutExpired:
                    process.kill()

        threading.Thread(target=watch_client, daemon=True).start()
        try:
            for chunk in iter(lambda: os.read(process.stdout.fileno(), 4096), b""):
                conn.sendall(chunk)
        except OSError:
            pass
        code = process.wait()
        with running_lock:
            running.discard(process)
        try:
            conn.sendall(b"EXIT %d\n" % code)
            conn.shutdown(socket.SHUT_WR)
        except OSError:
            pass


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--port", type=int, default=0)
    options = parser.parse_args(argv)

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", options.port))
    listener.listen(16)

    def stop(*_):
        with running_lock:
            for process in running:
                process.kill()
        os._exit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)

    sys.stdout.write("PORT %d\n" % listener.getsockname()[1])
    sys.stdout.flush()
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve_client, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    main()
