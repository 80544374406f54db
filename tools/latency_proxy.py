#!/usr/bin/env python3
"""A TCP proxy on loopback that gives a local server a distant server's round trip.

    python3 tools/latency_proxy.py --target PORT [--target-host 127.0.0.1]
                                   [--port N] [--rtt-ms 300]

Once listening it prints one line "PORT <n>" to stdout.

Each chunk read from either side is written to the other side half a round
trip after it was read; chunks keep their order, and a chunk read while an
earlier one waits is not held up further (the delays do not add up). A new
connection waits one round trip, as a TCP handshake over such a line does,
before the proxy reads from it or connects onwards; what the client sends
meanwhile waits in the socket. Bandwidth is not limited.
"""

import argparse
import asyncio
import os
import signal
import sys

CHUNK = 64 * 1024


async def pump(reader, writer, delay, loop):
    """Copies reader to writer, each chunk `delay` seconds after it was read."""
    queue = asyncio.Queue()

    async def read_side():
        try:
            while True:
                data = await reader.read(CHUNK)
                queue.put_nowait((loop.time(), data))
                if not data:
                    return
        except (ConnectionError, OSError):
            queue.put_nowait((loop.time(), None))

    async def write_side():
        while True:
            read_at, data = await queue.get()
            wait = read_at + delay - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if data is None:      # the reading side broke: so does this one
                writer.transport.abort()
                return
            if not data:          # orderly end: pass the half-close on
                if writer.can_write_eof():
                    writer.write_eof()
                return
            writer.write(data)
            await writer.drain()

    reading = asyncio.ensure_future(read_side())
    try:
        await write_side()
    finally:
        reading.cancel()


class Proxy:
    def __init__(self, target_host, target_port, rtt):
        self.target_host = target_host
        self.target_port = target_port
        self.rtt = rtt

    async def handle(self, client_reader, client_writer):
        loop = asyncio.get_running_loop()
        try:
            await asyncio.sleep(self.rtt)   # the handshake's round trip
            try:
                server_reader, server_writer = await asyncio.open_connection(
                    self.target_host, self.target_port)
            except OSError:
                client_writer.transport.abort()
                return
            half = self.rtt / 2
            up = asyncio.ensure_future(pump(client_reader, server_writer, half, loop))
            down = asyncio.ensure_future(pump(server_reader, client_writer, half, loop))
            try:
                await asyncio.gather(up, down)
            except (ConnectionError, OSError):
                pass
            finally:
                up.cancel()
                down.cancel()
                server_writer.close()
        finally:
            client_writer.close()


async def serve(args):
    proxy = Proxy(args.target_host, args.target, args.rtt_ms / 1000.0)
    server = await asyncio.start_server(proxy.handle, args.host, args.port)
    port = server.sockets[0].getsockname()[1]
    sys.stdout.write("PORT %d\n" % port)
    sys.stdout.flush()
    async with server:
        await server.serve_forever()


def main(argv=None):
    parser = argparse.ArgumentParser(description="TCP proxy adding a round-trip time")
    parser.add_argument("--target", type=int, required=True, help="port of the server behind the proxy")
    parser.add_argument("--target-host", default="127.0.0.1")
    parser.add_argument("--host", default="127.0.0.1", help="address to listen on")
    parser.add_argument("--port", type=int, default=0, help="port, 0 for a free one (default)")
    parser.add_argument("--rtt-ms", type=float, default=300.0, help="round-trip time in ms (default 300)")
    args = parser.parse_args(argv)
    if args.rtt_ms < 0:
        parser.error("--rtt-ms must not be negative")
    # Connections still waiting out their delays must not hold up the exit.
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    signal.signal(signal.SIGINT, lambda *_: os._exit(0))
    asyncio.run(serve(args))


if __name__ == "__main__":
    main()
