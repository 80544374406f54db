#!/usr/bin/env python3
"""Writes a demo data folder for tools/catalog_server.py.

    python3 tools/make_demo_data.py OUTDIR [--seed N] [--force] [--home HOME]

The output is fully determined by the seed: a catalogue of skins over several
main categories and subcategories (with a few deliberately incomplete or
broken records), instructions text, PNG and JPEG covers of mixed aspect
ratios, pak/sig files of mixed sizes, a version record and a dummy update
executable. Python standard library only, so the image encoders are here too.

With --home, it also writes (after the data, or for data already there) a
home folder for the app to run in: a Steam library at ~/.local/share/Steam
that names a demo game folder with the game's base package, and three skins
of the catalogue already in its mod folder, each with its install record in
~/.local/share/Furlane/installed_skins.json: one as the server has it, one an
older build of what the server has (its update check finds it outdated), one
whose package lost its tail (the installed view finds it damaged).
"""

import argparse
import datetime
import email.utils
import hashlib
import json
import math
import os
import random
import shutil
import struct
import sys
import time
import zlib

MARKER = ".furlane-demo-data"

# --------------------------------------------------------------------------
# Drawing
# --------------------------------------------------------------------------

# 5x7 digits and a '#', one string per row, for labelling covers.
GLYPHS = {
    "0": ["01110", "10001", "10011", "10101", "11001", "10001", "01110"],
    "1": ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    "2": ["01110", "10001", "00001", "00010", "00100", "01000", "11111"],
    "3": ["11110", "00001", "00001", "01110", "00001", "00001", "11110"],
    "4": ["00010", "00110", "01010", "10010", "11111", "00010", "00010"],
    "5": ["11111", "10000", "11110", "00001", "00001", "10001", "01110"],
    "6": ["00110", "01000", "10000", "11110", "10001", "10001", "01110"],
    "7": ["11111", "00001", "00010", "00100", "01000", "01000", "01000"],
    "8": ["01110", "10001", "10001", "01110", "10001", "10001", "01110"],
    "9": ["01110", "10001", "10001", "01111", "00001", "00010", "01100"],
    "#": ["01010", "01010", "11111", "01010", "11111", "01010", "01010"],
}


class Canvas:
    """An RGB image as a list of byte rows; drawing works on whole row spans."""

    def __init__(self, width, height):
        self.width = width
        self.height = height
        self.rows = [bytearray(width * 3) for _ in range(height)]

    def vertical_gradient(self, top, bottom):
        h = max(self.height - 1, 1)
        for y, row in enumerate(self.rows):
            t = y / h
            colour = bytes(round(a + (b - a) * t) for a, b in zip(top, bottom))
            row[:] = colour * self.width

    def rect(self, x0, y0, x1, y1, colour):
        x0, x1 = max(0, x0), min(self.width, x1)
        y0, y1 = max(0, y0), min(self.height, y1)
        if x0 >= x1 or y0 >= y1:
            return
        span = bytes(colour) * (x1 - x0)
        for y in range(y0, y1):
            self.rows[y][x0 * 3:x1 * 3] = span

    def circle(self, cx, cy, r, colour):
        for y in range(max(0, cy - r), min(self.height, cy + r + 1)):
            dx = math.isqrt(max(r * r - (y - cy) ** 2, 0))
            self.rect(cx - dx, y, cx + dx + 1, y + 1, colour)

    def frame(self, thickness, colour):
        w, h, t = self.width, self.height, thickness
        self.rect(0, 0, w, t, colour)
        self.rect(0, h - t, w, h, colour)
        self.rect(0, 0, t, h, colour)
        self.rect(w - t, 0, w, h, colour)

    def text(self, label, cx, cy, scale, colour, shadow=None):
        advance = 6 * scale
        x = cx - (len(label) * advance - scale) // 2
        y = cy - 7 * scale // 2
        for ch in label:
            for gy, bits in enumerate(GLYPHS[ch]):
                for gx, bit in enumerate(bits):
                    if bit == "1":
                        px, py = x + gx * scale, y + gy * scale
                        if shadow:
                            off = max(scale // 4, 1)
                            self.rect(px + off, py + off, px + scale + off, py + scale + off, shadow)
                        self.rect(px, py, px + scale, py + scale, colour)
            x += advance


# --------------------------------------------------------------------------
# PNG
# --------------------------------------------------------------------------

def _png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def encode_png(canvas):
    raw = b"".join(b"\x00" + bytes(row) for row in canvas.rows)
    header = struct.pack(">IIBBBBB", canvas.width, canvas.height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + _png_chunk(b"IHDR", header)
            + _png_chunk(b"IDAT", zlib.compress(raw, 6)) + _png_chunk(b"IEND", b""))


# --------------------------------------------------------------------------
# Baseline JPEG (4:4:4, standard tables)
# --------------------------------------------------------------------------

LUMA_Q = [
    16, 11, 10, 16, 24, 40, 51, 61,
    12, 12, 14, 19, 26, 58, 60, 55,
    14, 13, 16, 24, 40, 57, 69, 56,
    14, 17, 22, 29, 51, 87, 80, 62,
    18, 22, 37, 56, 68, 109, 103, 77,
    24, 35, 55, 64, 81, 104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101,
    72, 92, 95, 98, 112, 100, 103, 99,
]
CHROMA_Q = [99] * 64
for _i, _row in enumerate([[17, 18, 24, 47], [18, 21, 26, 66], [24, 26, 56], [47, 66]]):
    CHROMA_Q[_i * 8:_i * 8 + len(_row)] = _row


def _zigzag():
    order = []
    for s in range(15):
        cells = [(y, s - y) for y in range(8) if 0 <= s - y < 8]
        order.extend(cells if s % 2 else reversed(cells))
    return [y * 8 + x for y, x in order]


ZIGZAG = _zigzag()


def _ac_values(head):
    """The standard AC symbol lists: a fixed head, then the rest in ascending order."""
    every = [0x00, 0xF0] + [r << 4 | s for r in range(16) for s in range(1, 11)]
    listed = set(head)
    return head + sorted(v for v in every if v not in listed)


DC_LUMA = ([0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0], list(range(12)))
DC_CHROMA = ([0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0], list(range(12)))
AC_LUMA = ([0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D], _ac_values([
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13,
    0x51, 0x61, 0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xA1, 0x08, 0x23, 0x42,
    0xB1, 0xC1, 0x15, 0x52, 0xD1, 0xF0, 0x24, 0x33, 0x62, 0x72, 0x82]))
AC_CHROMA = ([0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77], _ac_values([
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51,
    0x07, 0x61, 0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xA1, 0xB1,
    0xC1, 0x09, 0x23, 0x33, 0x52, 0xF0, 0x15, 0x62, 0x72, 0xD1, 0x0A, 0x16, 0x24,
    0x34, 0xE1, 0x25, 0xF1]))


def _codes(table):
    """Canonical Huffman codes (as '0'/'1' strings) for a (counts, symbols) table."""
    counts, symbols = table
    assert sum(counts) == len(symbols)
    codes, code, k = {}, 0, 0
    for length, n in enumerate(counts, 1):
        for _ in range(n):
            codes[symbols[k]] = format(code, "0%db" % length)
            code += 1
            k += 1
        code <<= 1
    return codes


DCT = [[(math.sqrt(0.125) if u == 0 else 0.5) * math.cos((2 * x + 1) * u * math.pi / 16)
        for x in range(8)] for u in range(8)]


def _bits(value):
    """Size category and the value's bits as JPEG writes them."""
    if value == 0:
        return 0, ""
    size = abs(value).bit_length()
    if value < 0:
        value += (1 << size) - 1
    return size, format(value, "0%db" % size)


class JpegEncoder:
    def __init__(self, quality=88):
        scale = 5000 // quality if quality < 50 else 200 - 2 * quality
        self.qt = [[min(max((q * scale + 50) // 100, 1), 255) for q in table]
                   for table in (LUMA_Q, CHROMA_Q)]
        self.dc = [_codes(DC_LUMA), _codes(DC_CHROMA)]
        self.ac = [_codes(AC_LUMA), _codes(AC_CHROMA)]

    def _block(self, samples, table):
        """Quantised zigzag coefficients of one 8x8 block of level-shifted samples."""
        rows = [[sum(DCT[v][x] * samples[y * 8 + x] for x in range(8)) for v in range(8)]
                for y in range(8)]
        coeffs = [0.0] * 64
        for u in range(8):
            du = DCT[u]
            for v in range(8):
                coeffs[u * 8 + v] = sum(du[y] * rows[y][v] for y in range(8))
        q = self.qt[table]
        return [int(round(coeffs[i] / q[i])) for i in ZIGZAG]

    def _ac_string(self, zz, table):
        codes = self.ac[table]
        out, run = [], 0
        for value in zz[1:]:
            if value == 0:
                run += 1
                continue
            while run > 15:
                out.append(codes[0xF0])
                run -= 16
            size, bits = _bits(value)
            out.append(codes[run << 4 | size] + bits)
            run = 0
        if run:
            out.append(codes[0x00])
        return "".join(out)

    def _mcu(self, block):
        """(dc, ac bits) for Y, Cb and Cr of one 8x8 RGB block (192 bytes)."""
        ys, cbs, crs = [], [], []
        for i in range(0, 192, 3):
            r, g, b = block[i], block[i + 1], block[i + 2]
            ys.append(0.299 * r + 0.587 * g + 0.114 * b - 128)
            cbs.append(-0.168736 * r - 0.331264 * g + 0.5 * b)
            crs.append(0.5 * r - 0.418688 * g - 0.081312 * b)
        out = []
        for samples, table in ((ys, 0), (cbs, 1), (crs, 1)):
            zz = self._block(samples, table)
            out.append((zz[0], self._ac_string(zz, table)))
        return out

    def encode(self, canvas):
        w, h = canvas.width, canvas.height
        pw, ph = -(-w // 8) * 8, -(-h // 8) * 8
        rows = []
        for row in canvas.rows:
            row = bytes(row)
            rows.append(row + row[-3:] * (pw - w))
        rows.extend([rows[-1]] * (ph - h))

        # Flat and repeated blocks are common in these pictures: encode each
        # distinct block once.
        cache = {}
        bits = []
        prev = [0, 0, 0]
        for by in range(0, ph, 8):
            band = rows[by:by + 8]
            for bx in range(0, pw * 3, 24):
                key = b"".join(r[bx:bx + 24] for r in band)
                mcu = cache.get(key)
                if mcu is None:
                    mcu = cache[key] = self._mcu(key)
                for c, (dc, ac) in enumerate(mcu):
                    size, dbits = _bits(dc - prev[c])
                    prev[c] = dc
                    bits.append(self.dc[0 if c == 0 else 1][size] + dbits + ac)
        stream = "".join(bits)
        stream += "1" * (-len(stream) % 8)
        data = int(stream, 2).to_bytes(len(stream) // 8, "big") if stream else b""
        data = data.replace(b"\xff", b"\xff\x00")

        def segment(marker, payload):
            return struct.pack(">HH", marker, len(payload) + 2) + payload

        def dht(cls_id, table):
            counts, symbols = table
            return bytes([cls_id]) + bytes(counts) + bytes(symbols)

        out = [b"\xff\xd8",
               segment(0xFFE0, b"JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00"),
               segment(0xFFDB, b"\x00" + bytes(self.qt[0][i] for i in ZIGZAG)
                       + b"\x01" + bytes(self.qt[1][i] for i in ZIGZAG)),
               segment(0xFFC0, struct.pack(">BHHB", 8, h, w, 3)
                       + b"\x01\x11\x00" + b"\x02\x11\x01" + b"\x03\x11\x01"),
               segment(0xFFC4, dht(0x00, DC_LUMA) + dht(0x10, AC_LUMA)
                       + dht(0x01, DC_CHROMA) + dht(0x11, AC_CHROMA)),
               segment(0xFFDA, b"\x03" + b"\x01\x00" + b"\x02\x11" + b"\x03\x11" + b"\x00\x3f\x00"),
               data,
               b"\xff\xd9"]
        return b"".join(out)


# --------------------------------------------------------------------------
# Catalogue content
# --------------------------------------------------------------------------

# (main category, its weight, [(subcategory, weight), ...])
CATEGORIES = [
    ("角色皮肤", 10, [("探险家", 8), ("猎人", 5), ("船长", 3), ("厨师", 1), ("医生", 0)]),
    ("武器皮肤", 8, [("近战武器", 7), ("步枪", 6), ("手枪", 4), ("弓箭", 2)]),
    ("道具皮肤", 5, [("灯笼", 3), ("背包", 2), ("图腾", 1)]),
    ("载具皮肤", 2.5, [("雪橇", 2), ("船只", 2)]),
]

NAME_HEADS = ["极地", "暗夜", "血色", "冰原", "北境", "幽灵", "黄金", "铁锈", "风暴", "荒野",
              "深海", "烈焰", "霜语", "孤狼", "白鲸", "赤焰", "翡翠", "残月", "雪鸮", "黑曜"]
NAME_TAILS = {
    "探险家": ["先驱", "旅人", "测绘师", "远征者"],
    "猎人": ["猎手", "追踪者", "陷阱师", "弓手"],
    "船长": ["船长", "舵手", "领航员"],
    "厨师": ["厨师", "炖锅", "屠夫"],
    "医生": ["医师", "药剂师"],
    "近战武器": ["战斧", "猎刀", "冰镐", "长矛"],
    "步枪": ["步枪", "猎枪", "长枪"],
    "手枪": ["左轮", "信号枪", "手枪"],
    "弓箭": ["长弓", "短弓", "弩"],
    "灯笼": ["提灯", "油灯", "灯笼"],
    "背包": ["背包", "行囊"],
    "图腾": ["图腾", "祭坛"],
    "雪橇": ["雪橇", "狗拉雪橇"],
    "船只": ["小艇", "捕鲸船"],
}

PALETTE = [
    (38, 70, 83), (42, 157, 143), (233, 196, 106), (244, 162, 97), (231, 111, 81),
    (29, 53, 87), (69, 123, 157), (168, 218, 220), (230, 57, 70), (241, 250, 238),
    (94, 48, 35), (153, 88, 42), (111, 29, 27), (187, 148, 87), (67, 40, 24),
    (0, 48, 73), (214, 40, 40), (247, 127, 0), (252, 191, 73), (234, 226, 183),
    (53, 80, 112), (109, 89, 122), (181, 101, 118), (229, 107, 111), (234, 172, 139),
]

# Cover sizes (width, height); JPEG is encoded for the ones marked so.
SIZES = [
    (1920, 1080, "png"), (1920, 1080, "jpg"), (1280, 720, "jpg"), (1280, 720, "png"),
    (800, 800, "jpg"), (512, 512, "png"), (600, 900, "jpg"), (720, 1280, "png"),
    (1000, 500, "png"), (300, 300, "jpg"), (1080, 1920, "png"), (640, 480, "jpg"),
    (100, 100, "png"), (900, 600, "png"),
]

INSTRUCTIONS = """欢迎使用 Furlane 皮肤管理器！

使用方法：
1. 先点击「检测目录」，在游戏运行时自动找到 Dread Hunger 的安装目录。
2. 在上方选择主分类，再选择子分类或「全部」浏览皮肤。
3. 点击皮肤卡片上的「安装」按钮，皮肤会在后台排队下载。
4. 已安装的皮肤可以随时点击「卸载」移除。
5. 点击「下载队列」可以查看或取消正在排队的下载。

小提示：
· 封面图片会缓存在本地，如显示异常可点击「刷新页面」。
· 安装或卸载皮肤后，请重新启动游戏使其生效。

祝你狩猎愉快！"""


def cover_name(index, ext):
    style = index % 7
    if style == 3:
        return "封面 %02d.%s" % (index, ext)
    if style == 5:
        return "cover art %02d.%s" % (index, ext)
    return "cover_%02d.%s" % (index, ext)


def paint_cover(index, width, height, rng):
    canvas = Canvas(width, height)
    top, bottom, a, b, c = rng.sample(PALETTE, 5)
    canvas.vertical_gradient(top, bottom)
    short = min(width, height)
    # A few shapes at seeded places so covers differ at a glance.
    for _ in range(3):
        r = rng.randint(short // 10, short // 3)
        canvas.circle(rng.randint(0, width), rng.randint(0, height), r, rng.choice((a, b)))
    for _ in range(2):
        x0, y0 = rng.randint(0, width), rng.randint(0, height)
        canvas.rect(x0, y0, x0 + rng.randint(short // 8, short // 2),
                    y0 + rng.randint(short // 8, short // 2), c)
    # A frame and a centre label show how the client crops the picture.
    canvas.frame(max(short // 60, 2), (250, 250, 250))
    label = "#%d" % index
    scale = max(short // 40, 2)
    canvas.rect(width // 2 - 1, 0, width // 2 + 1, height, (250, 250, 250))
    canvas.rect(0, height // 2 - 1, width, height // 2 + 1, (250, 250, 250))
    canvas.text(label, width // 2, height // 2, scale, (255, 255, 255), shadow=(20, 20, 20))
    return canvas


def pseudo_random_bytes(seed, size):
    return random.Random(seed).randbytes(size)


def build_records(rng):
    """Returns (records, files) where files maps relative paths to content makers."""
    records = []
    files = {}
    skin_ids = rng.sample(range(1001, 1300), 80)
    used_names = set()
    index = 0

    def next_name(sub):
        for _ in range(200):
            name = rng.choice(NAME_HEADS) + rng.choice(NAME_TAILS[sub])
            if name not in used_names:
                used_names.add(name)
                return name
        raise RuntimeError("name pool exhausted")

    for main, main_weight, subs in CATEGORIES:
        for sub, sub_weight in subs:
            for _ in range(rng.randint(3, 4)):
                index += 1
                name = next_name(sub)
                stem = "skin_%s%02d" % ("abcdefgh"[index % 8], index)
                if index % 9 == 4:
                    pak = "files\\2024\\%s.pak" % stem
                else:
                    pak = "files/2024/%s.pak" % stem
                sig = pak[:-4] + ".sig"
                w, h, ext = SIZES[index % len(SIZES)]
                cover = cover_name(index, ext)
                record = {
                    "skin_id": skin_ids[index],
                    "name": name,
                    "MainCategory": main,
                    "subcategory": sub,
                    # Weights vary per record; the category weight is their maximum.
                    "MainCategory_ranking_id": main_weight if index % 4 else max(main_weight - 1, 0),
                    "subcategory_ranking_id": sub_weight if index % 3 else 0,
                    "pak_original": pak,
                    "sig_original": sig,
                    "cover": cover,
                }
                records.append(record)
                folder = "/".join((main, sub))
                pak_size = _pak_size(rng, index)
                files["skins/%s/%s" % (folder, pak.replace("\\", "/"))] = ("bytes", index * 2, pak_size)
                files["skins/%s/%s" % (folder, sig.replace("\\", "/"))] = ("bytes", index * 2 + 1,
                                                                           rng.randint(180, 720))
                files["covers/%s/%s" % (folder, cover)] = ("cover", index, (w, h, ext))

    # Variations a real catalogue shows.
    by_sub = {}
    for r in records:
        by_sub.setdefault(r["subcategory"], []).append(r)
    by_sub["猎人"][0]["skin_id"] = str(by_sub["猎人"][0]["skin_id"])          # digits as text
    by_sub["步枪"][0]["MainCategory_ranking_id"] = 9                            # raises the category
    by_sub["步枪"][1].pop("subcategory_ranking_id")                             # no weight at all
    by_sub["灯笼"][0]["subcategory_ranking_id"] = 3.7                           # fractional weight
    twin = by_sub["船只"][0]
    twin["name"] = by_sub["雪橇"][0]["name"]                                    # same name twice
    by_sub["背包"][-1]["cover"] = ""                                            # no cover
    missing_cover = by_sub["图腾"][0]
    del files["covers/道具皮肤/图腾/%s" % missing_cover["cover"]]               # cover not on server
    broken = by_sub["手枪"][0]
    del files["covers/武器皮肤/手枪/%s" % broken["cover"]]
    broken["cover"] = "broken_%s.png" % broken["skin_id"]
    files["covers/武器皮肤/手枪/%s" % broken["cover"]] = ("text", "这不是图片\n", None)
    gone = by_sub["厨师"][0]
    del files["skins/角色皮肤/厨师/%s" % gone["pak_original"].replace("\\", "/")]  # 404 on install

    extra = [
        {"skin_id": 1901, "name": "", "MainCategory": "角色皮肤", "subcategory": "猎人",
         "MainCategory_ranking_id": 10, "subcategory_ranking_id": 5,
         "pak_original": "files/2024/skin_noname.pak", "sig_original": "files/2024/skin_noname.sig",
         "cover": "cover_noname.png"},
        {"skin_id": 1902, "name": "半成品猎刀", "MainCategory": "武器皮肤", "subcategory": "近战武器",
         "MainCategory_ranking_id": 8, "subcategory_ranking_id": 7,
         "pak_original": "files/2024/skin_nosig.pak", "cover": "cover_nosig.png"},
        {"skin_id": 1903, "name": "节日彩灯", "MainCategory": "道具皮肤", "subcategory": "",
         "MainCategory_ranking_id": 5, "subcategory_ranking_id": 0,
         "pak_original": "files/2024/skin_nosub.pak", "sig_original": "files/2024/skin_nosub.sig",
         "cover": "cover_nosub.png"},
        {"skin_id": 1904, "name": "限定雪人", "MainCategory": "活动限定", "subcategory": "",
         "MainCategory_ranking_id": 1,
         "pak_original": "files/2025/skin_event.pak", "sig_original": "files/2025/skin_event.sig",
         "cover": "cover_event.png"},
    ]
    records.extend(extra)
    rng.shuffle(records)
    return records, files


def _pak_size(rng, index):
    if index % 11 == 0:
        return rng.randint(2 * 1024 * 1024, 8 * 1024 * 1024)
    if index % 5 == 0:
        return rng.randint(600 * 1024, 1800 * 1024)
    return rng.randint(4 * 1024, 400 * 1024)


# --------------------------------------------------------------------------
# Output
# --------------------------------------------------------------------------

def prepare(outdir, force):
    if os.path.isdir(outdir) and os.listdir(outdir):
        if not os.path.exists(os.path.join(outdir, MARKER)) and not force:
            sys.exit("%s is not empty and holds no demo data; use --force to write into it" % outdir)
        for sub in ("covers", "skins", "files"):
            shutil.rmtree(os.path.join(outdir, sub), ignore_errors=True)
    os.makedirs(outdir, exist_ok=True)
    with open(os.path.join(outdir, MARKER), "w") as f:
        f.write("generated by tools/make_demo_data.py\n")


def write_file(outdir, rel, data):
    path = os.path.join(outdir, *rel.split("/"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def generate(outdir, seed=1, force=False, log=print):
    started = time.monotonic()
    prepare(outdir, force)
    rng = random.Random(seed)
    records, files = build_records(rng)

    write_file(outdir, "catalog.json",
               json.dumps(records, ensure_ascii=False, indent=2).encode("utf-8") + b"\n")
    write_file(outdir, "instructions.txt", INSTRUCTIONS.encode("utf-8"))
    write_file(outdir, "version.json", json.dumps({
        "Furlane代理版本": "1.0",
        "Furlane代理下载地址": "@@BASE@@/files/Furlane.exe",
    }, ensure_ascii=False, indent=2).encode("utf-8") + b"\n")
    write_file(outdir, "files/Furlane.exe",
               b"MZ" + pseudo_random_bytes(seed * 7919, 64 * 1024 - 2))

    jpeg = JpegEncoder()
    counts = {"png": 0, "jpg": 0, "bytes": 0}
    total = 0
    for rel in sorted(files):
        kind, arg, extra = files[rel]
        if kind == "bytes":
            data = pseudo_random_bytes(seed * 100003 + arg, extra)
            counts["bytes"] += 1
        elif kind == "text":
            data = arg.encode("utf-8")
        else:
            w, h, ext = extra
            canvas = paint_cover(arg, w, h, random.Random(seed * 31 + arg))
            data = jpeg.encode(canvas) if ext == "jpg" else encode_png(canvas)
            counts[ext] += 1
        total += len(data)
        write_file(outdir, rel, data)

    log("%d records, %d PNG and %d JPEG covers, %d skin files, %.1f MB in %.1f s -> %s" % (
        len(records), counts["png"], counts["jpg"], counts["bytes"], total / 1048576.0,
        time.monotonic() - started, outdir))


# --------------------------------------------------------------------------
# Demo home
# --------------------------------------------------------------------------

HOME_MARKER = ".furlane-demo-home"
STEAM_APP_ID = "1418630"
GAME_NAME = "Dread Hunger"
MOD_SUBDIR = ("DreadHunger", "Content", "Paks", "orvexs")
BASE_PACKAGE = ("DreadHunger", "Content", "Paks", "DreadHunger-WindowsNoEditor.pak")
# What each demo skin shows, in the order they are picked.
DEMO_STATES = ("current", "outdated", "damaged")


def leaf(path):
    return path.replace("\\", "/").rsplit("/", 1)[-1]


def served_path(datadir, record, key):
    return os.path.join(datadir, "skins", record["MainCategory"], record["subcategory"],
                        *record[key].replace("\\", "/").split("/"))


def pick_demo_skins(datadir, records):
    """Three complete skins whose files the server has, named once in the
    catalogue, from different subcategories of the first main category."""
    required = ("name", "MainCategory", "subcategory", "pak_original", "sig_original")
    names = [r.get("name") for r in records]
    usable = [r for r in records
              if all(isinstance(r.get(k), str) and r.get(k) for k in required)
              and names.count(r["name"]) == 1
              and all(os.path.isfile(served_path(datadir, r, k)) for k in ("pak_original", "sig_original"))]
    usable.sort(key=lambda r: (-float(r.get("MainCategory_ranking_id") or 0), r["MainCategory"],
                               -float(r.get("subcategory_ranking_id") or 0), r["subcategory"], r["name"]))
    picked, subs = [], set()
    for r in usable:
        if (r["MainCategory"], r["subcategory"]) not in subs:
            picked.append(r)
            subs.add((r["MainCategory"], r["subcategory"]))
        if len(picked) == len(DEMO_STATES):
            return picked
    raise SystemExit("the demo data holds fewer than %d installable skins" % len(DEMO_STATES))


def iso_utc(seconds):
    moment = datetime.datetime.fromtimestamp(seconds, datetime.timezone.utc)
    return moment.isoformat(timespec="milliseconds").replace("+00:00", "Z")


def validators(st):
    """The ETag and Last-Modified catalog_server.py sends for a file."""
    return '"%x-%x"' % (st.st_mtime_ns, st.st_size), email.utils.formatdate(st.st_mtime, usegmt=True)


def prepare_home(home):
    if os.path.lexists(home):
        if not os.path.isdir(home) or os.path.islink(home):
            sys.exit("%s is not a folder" % home)
        if os.listdir(home) and not os.path.exists(os.path.join(home, HOME_MARKER)):
            sys.exit("%s is not empty and is no demo home; refusing to touch it" % home)
        shutil.rmtree(home)
    os.makedirs(home)
    with open(os.path.join(home, HOME_MARKER), "w") as f:
        f.write("generated by tools/make_demo_data.py --home; deleted at the next demo start\n")


def write_demo_home(datadir, home, base_url="http://127.0.0.1:8765", log=print):
    """Writes the demo home (see the module's docstring); returns the picked
    skins' names by state."""
    with open(os.path.join(datadir, "catalog.json"), "rb") as f:
        records = json.loads(f.read().decode("utf-8"))
    skins = pick_demo_skins(datadir, records)
    home = os.path.abspath(home)
    prepare_home(home)
    # The app compares the record's folder with the one Steam leads it to,
    # which is the resolved path.
    home = os.path.realpath(home)

    steam = os.path.join(home, ".local", "share", "Steam")
    library_list = ('"libraryfolders"\n{\n\t"0"\n\t{\n\t\t"path"\t\t"%s"\n\t\t"apps"\n\t\t{\n'
                    '\t\t\t"%s"\t\t"1024"\n\t\t}\n\t}\n}\n') % (steam.replace("\\", "\\\\"), STEAM_APP_ID)
    write_file(steam, "steamapps/libraryfolders.vdf", library_list.encode("utf-8"))
    manifest = '"AppState"\n{\n\t"appid"\t\t"%s"\n\t"name"\t\t"%s"\n\t"installdir"\t\t"%s"\n}\n' % (
        STEAM_APP_ID, GAME_NAME, GAME_NAME)
    write_file(steam, "steamapps/appmanifest_%s.acf" % STEAM_APP_ID, manifest.encode("utf-8"))
    game = os.path.join(steam, "steamapps", "common", GAME_NAME)
    write_file(game, "/".join(BASE_PACKAGE), b"demo base package\n")
    mod_folder = os.path.join(game, *MOD_SUBDIR)
    os.makedirs(mod_folder, exist_ok=True)

    now = time.time()
    entries, shown = [], {}
    for state, skin in zip(DEMO_STATES, skins):
        files = []
        for key in ("pak_original", "sig_original"):
            source = served_path(datadir, skin, key)
            with open(source, "rb") as f:
                data = f.read()
            etag, modified = validators(os.stat(source))
            if state == "outdated" and key == "pak_original":
                # An older build: other bytes, answered a day earlier.
                data = pseudo_random_bytes(len(data), max(len(data) - 1000, 64))
                st = os.stat(source)
                etag = '"%x-%x"' % (st.st_mtime_ns - 86400 * 10 ** 9, len(data))
                modified = email.utils.formatdate(st.st_mtime - 86400, usegmt=True)
            target = os.path.join(mod_folder, leaf(skin[key]))
            with open(target, "wb") as f:
                f.write(data)
            files.append({
                "path": leaf(skin[key]),
                "url": "%s/subcutaneous/index_skin_download.php?MainCategory=%s&subcategory=%s&%s=%s" % (
                    base_url, skin["MainCategory"], skin["subcategory"], key, skin[key]),
                "size": len(data),
                "sha256": hashlib.sha256(data).hexdigest(),
                "etag": etag,
                "last_modified": modified,
                "modified": iso_utc(os.stat(target).st_mtime),
            })
        if state == "damaged":
            # The package as a cut copy leaves it: shorter than installed.
            pak = os.path.join(mod_folder, files[0]["path"])
            with open(pak, "r+b") as f:
                f.truncate(files[0]["size"] // 2)
            files[0]["modified"] = iso_utc(os.stat(pak).st_mtime)
        entries.append({
            "skin_id": skin["name"],
            "name": skin["name"],
            "mod_folder": mod_folder,
            "installed_at": iso_utc(now),
            "revision_known": True,
            "files": files,
        })
        shown[state] = skin["name"]
    store = json.dumps({"version": 1, "skins": sorted(entries, key=lambda e: e["skin_id"])},
                       ensure_ascii=False, indent=2)
    write_file(home, ".local/share/Furlane/installed_skins.json", store.encode("utf-8") + b"\n")
    log("demo home %s: game folder %s; installed %s, outdated %s, damaged %s" % (
        home, game, shown["current"], shown["outdated"], shown["damaged"]))
    return shown


def main(argv=None):
    parser = argparse.ArgumentParser(description="Write Furlane demo data for catalog_server.py")
    parser.add_argument("outdir")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--force", action="store_true",
                        help="write into a non-empty folder that holds no earlier demo data")
    parser.add_argument("--home", help="also write a demo home (game folder, Steam library, installed "
                        "skins) for the data in OUTDIR, generating the data first when it is missing; an "
                        "earlier demo home there is replaced")
    parser.add_argument("--base", default="http://127.0.0.1:8765",
                        help="the server address the demo home's install records name")
    args = parser.parse_args(argv)
    if not args.home or not os.path.exists(os.path.join(args.outdir, MARKER)) \
            or not os.path.isfile(os.path.join(args.outdir, "catalog.json")):
        generate(args.outdir, args.seed, args.force)
    if args.home:
        write_demo_home(args.outdir, args.home, args.base)


if __name__ == "__main__":
    main()
