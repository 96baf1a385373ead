#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Puts together the web folder around the script and wasm file em++ made.

    site.py SOURCE_DIR OUT_DIR

SOURCE_DIR is the repository root; OUT_DIR already holds zib.js and
zib.wasm. Copies the page, its style sheet and manifest, the bundled fonts
with their licences and the icons; converts the speech-bubble bitmaps to PNG
with the very same pixels; and writes the service worker with the list of
every file in the folder and a version named after their contents.

Only the Python 3 standard library is used.
"""

import hashlib
import os
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


def main():
    source, out = sys.argv[1], sys.argv[2]
    web = os.path.join(source, "forms", "web")
    assets = os.path.join(source, "assets")
    os.makedirs(os.path.join(out, "fonts"), exist_ok=True)

    for name in ("index.html", "zib.css", "manifest.webmanifest"):
        shutil.copyfile(os.path.join(web, name), os.path.join(out, name))
    for name in ("ComicNeue-Bold.otf", "ComicNeue-LICENSE.txt", "LeckerliOne-Regular.ttf",
                 "LeckerliOne-LICENSE.txt"):
        shutil.copyfile(os.path.join(assets, "fonts", name), os.path.join(out, "fonts", name))
    for name in ("icon-32.png", "icon-192.png", "icon-512.png", "icon.svg"):
        shutil.copyfile(os.path.join(assets, name), os.path.join(out, name))
    for name in ("bubble-you", "bubble-opponent"):
        for suffix in ("", "@2x"):
            write_png(os.path.join(out, f"{name}{suffix}.png"),
                      *read_bmp(os.path.join(assets, f"{name}{suffix}.bmp")))

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
    with open(os.path.join(web, "sw.js.in"), encoding="utf-8") as f:
        worker = f.read()
    worker = worker.replace("@VERSION@", version.hexdigest()[:16]).replace("@FILES@", listed)
    with open(os.path.join(out, "sw.js"), "w", encoding="utf-8", newline="\n") as f:
        f.write(worker)


if __name__ == "__main__":
    main()
