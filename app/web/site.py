#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Puts together the web folder around the script and wasm file em++ made.

    site.py OUT_DIR WORKER_TEMPLATE NAME=SOURCE...

OUT_DIR already holds zib.js and zib.wasm. Each NAME=SOURCE puts the file
SOURCE in the folder as NAME: copied; a bitmap named as a PNG,
converted with the very same pixels; a page, with its content security
policy filled in. Then writes the service worker from
its template, with the list of every file in the folder and a version
named after their contents.

Only the Python 3 standard library is used.
"""

import base64
import hashlib
import os
import re
import shutil
import struct
import sys
import zlib


def read_bmp(path):
    """Rows of RGB bytes, top row first, from an uncompressed 24-bit BMP."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM":
        raise ValueError(f"{path}: not a BMP file")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if bits != 24 or compression != 0:
        raise ValueError(f"{path}: not an uncompressed 24-bit bitmap")
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        start = offset + y * stride
        bgr = data[start:start + width * 3]
        rgb = bytearray(len(bgr))
        rgb[0::3], rgb[1::3], rgb[2::3] = bgr[2::3], bgr[1::3], bgr[0::3]
        rows.append(bytes(rgb))
    if height > 0:  # stored bottom-up
        rows.reverse()
    return width, abs(height), rows


def write_png(path, width, height, rows):
    """8-bit RGB PNG."""
    raw = b"".join(b"\0" + row for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9))
                + chunk(b"IEND", b""))


def allow_styles(page):
    """The page with its content security policy naming each of its own
    <style> blocks by its hash, the only inline styles it lets in."""
    hashes = []
    for block in re.findall(r"<style>(.*?)</style>", page, re.S):
        digest = base64.b64encode(hashlib.sha256(block.encode()).digest()).decode()
        hashes.append(f"'sha256-{digest}'")
    return page.replace("@STYLE_HASHES@", " ".join(hashes))


def main():
    out, template = sys.argv[1], sys.argv[2]
    for pair in sys.argv[3:]:
        name, source = pair.split("=", 1)
        target = os.path.join(out, name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        if name.lower().endswith(".png") and source.lower().endswith(".bmp"):
            write_png(target, *read_bmp(source))
        elif name.lower().endswith(".html"):
            with open(source, encoding="utf-8") as f:
                page = f.read()
            with open(target, "w", encoding="utf-8", newline="\n") as f:
                f.write(allow_styles(page))
        else:
            shutil.copyfile(source, target)

    # A file an earlier build put in the folder and this one does not goes,
    # or the worker would keep it for ever.
    if len(sys.argv) > 3:
        wanted = {pair.split("=", 1)[0] for pair in sys.argv[3:]} | {"zib.js", "zib.wasm", "sw.js"}
        for folder, _, names in os.walk(out):
            for name in names:
                relative = os.path.relpath(os.path.join(folder, name), out).replace(os.sep, "/")
                if relative not in wanted:
                    os.remove(os.path.join(folder, name))

    files = []
    for folder, _, names in os.walk(out):
        for name in names:
            relative = os.path.relpath(os.path.join(folder, name), out).replace(os.sep, "/")
            if relative != "sw.js":
                files.append(relative)
    files.sort()
    version = hashlib.sha256()
    for name in files:
        with open(os.path.join(out, name), "rb") as f:
            version.update(name.encode() + b"\0" + f.read())
    # The folder's address is the page too.
    listed = ", ".join(f"'{name}'" for name in ["./"] + files)
    with open(template, encoding="utf-8") as f:
        worker = f.read()
    worker = worker.replace("@VERSION@", version.hexdigest()[:16]).replace("@FILES@", listed)
    with open(os.path.join(out, "sw.js"), "w", encoding="utf-8", newline="\n") as f:
        f.write(worker)


if __name__ == "__main__":
    main()
