#!/usr/bin/env python3
"""Validate Orbelle's .ico resources and that they match scripts/make-icons.

Usage: check_icons.py RESOURCES_DIR MAKE_ICONS_SCRIPT

The files are parsed here from the ICO/BMP layout alone (the generator is
not imported), so a bug in the generator's encoder cannot hide itself.
Prints one line per group of checks, then "N passed, M failed".
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile

# file -> [(width == height, bits per pixel)] in directory order
EXPECTED = {
    "A_MAIN_0000.ico": [(48, 4), (32, 4), (16, 4)],
    "A_MAIN_0001.ico": [(48, 8), (32, 8), (16, 8)],
    "A_MAIN_0002.ico": [(48, 4), (32, 4), (16, 4)],
    "ICON_1.ico": [(32, 1), (32, 4), (16, 4)],
}


class Image:
    """One directory entry with its decoded DIB."""

    def __init__(self, data, index):
        (self.e_width, self.e_height, self.e_colours, self.e_reserved,
         self.e_planes, self.e_bpp, self.e_size,
         self.e_offset) = struct.unpack_from("<BBBBHHII", data, 6 + 16 * index)
        self.blob = data[self.e_offset:self.e_offset + self.e_size]

    def header(self):
        (self.h_size, self.width, self.height, self.planes, self.bpp,
         self.compression, self.size_image, _, _, self.clr_used,
         _) = struct.unpack_from("<IiiHHIIiiII", self.blob, 0)
        self.n_palette = self.clr_used or (1 << self.bpp)
        self.xor_stride = (self.width * self.bpp + 31) // 32 * 4
        self.and_stride = (self.width + 31) // 32 * 4
        self.rows = self.height // 2
        self.pixel_start = self.h_size + 4 * self.n_palette
        self.and_start = self.pixel_start + self.xor_stride * self.rows

    def xor(self, x, y):
        """Palette index of pixel (x, y), y counted from the top."""
        row = self.pixel_start + (self.rows - 1 - y) * self.xor_stride
        bit = x * self.bpp
        byte = self.blob[row + bit // 8]
        return (byte >> (8 - self.bpp - bit % 8)) & ((1 << self.bpp) - 1)

    def transparent(self, x, y):
        row = self.and_start + (self.rows - 1 - y) * self.and_stride
        return (self.blob[row + x // 8] >> (7 - x % 8)) & 1 == 1


def check_layout(data, expected):
    """ICONDIR, directory bounds, no overlap, no trailing bytes."""
    errors = []
    if len(data) < 6:
        return ["file shorter than ICONDIR"], []
    reserved, kind, count = struct.unpack_from("<HHH", data)
    if reserved != 0:
        errors.append("ICONDIR reserved is %d" % reserved)
    if kind != 1:
        errors.append("ICONDIR type is %d, not 1 (icon)" % kind)
    if count != len(expected):
        errors.append("%d images, expected %d" % (count, len(expected)))
    table_end = 6 + 16 * count
    if table_end > len(data):
        return errors + ["directory runs past end of file"], []
    images = [Image(data, i) for i in range(count)]
    spans = []
    for i, im in enumerate(images):
        if im.e_offset < table_end:
            errors.append("image %d starts inside the directory" % i)
        if im.e_offset + im.e_size > len(data):
            errors.append("image %d runs past end of file" % i)
        spans.append((im.e_offset, im.e_offset + im.e_size, i))
    spans.sort()
    for (a0, a1, i), (b0, b1, j) in zip(spans, spans[1:]):
        if b0 < a1:
            errors.append("images %d and %d overlap" % (i, j))
    end = max([table_end] + [s[1] for s in spans])
    if end != len(data):
        errors.append("%d trailing bytes after the last image"
                      % (len(data) - end))
    return errors, ([] if errors else images)


def check_headers(images):
    """Each directory entry agrees with the BITMAPINFOHEADER it points to."""
    errors = []
    for i, im in enumerate(images):
        where = "image %d: " % i
        if len(im.blob) < 40:
            errors.append(where + "too short for BITMAPINFOHEADER")
            continue
        im.header()
        width = im.e_width or 256
        colours = (1 << im.bpp) if im.bpp < 8 else 0
        expected_len = (im.pixel_start + im.xor_stride * im.rows
                        + im.and_stride * im.rows)
        facts = [
            ("header size", im.h_size, 40),
            ("DIB width", im.width, width),
            ("entry height", im.e_height or 256, width),
            ("DIB height (XOR + AND)", im.height, 2 * width),
            ("entry colour count", im.e_colours, colours),
            ("entry reserved", im.e_reserved, 0),
            ("entry planes", im.e_planes, 1),
            ("DIB planes", im.planes, 1),
            ("entry bit count", im.e_bpp, im.bpp),
            ("compression", im.compression, 0),
            ("palette entries", im.n_palette, 1 << im.bpp),
            ("data length (header+palette+XOR+AND)", im.e_size, expected_len),
        ]
        if im.size_image:
            facts.append(("biSizeImage", im.size_image,
                          expected_len - im.pixel_start))
        for label, got, want in facts:
            if got != want:
                errors.append("%s%s is %d, expected %d"
                              % (where, label, got, want))
    return errors


def check_formats(images, expected):
    """The file holds exactly the wanted sizes and colour depths."""
    got = [(im.width, im.bpp) for im in images]
    if got != expected:
        return ["images are %s, expected %s" % (got, expected)]
    return []


def check_pixels(images):
    """Transparent corners through the mask, opaque middle, clean XOR."""
    errors = []
    for i, im in enumerate(images):
        n = im.width
        where = "image %d (%dpx %dbpp): " % (i, n, im.bpp)
        corners = [(0, 0), (n - 1, 0), (0, n - 1), (n - 1, n - 1)]
        if not all(im.transparent(x, y) for x, y in corners):
            errors.append(where + "a corner is not transparent")
        if im.transparent(n // 2, n // 2):
            errors.append(where + "centre is transparent")
        dirty = sum(1 for y in range(n) for x in range(n)
                    if im.transparent(x, y) and im.xor(x, y) != 0)
        if dirty:  # AND=1 with XOR!=0 inverts the screen instead
            errors.append(where + "%d transparent pixels have a non-zero "
                          "XOR value" % dirty)
        used = {im.xor(x, y) for y in range(n) for x in range(n)
                if not im.transparent(x, y)}
        if im.bpp == 8 and len(used) <= 16:
            errors.append(where + "only %d colours: 16 would do" % len(used))
        if im.bpp == 1 and len(used) < 2:
            errors.append(where + "monochrome image uses a single colour")
    return errors


def run_check(script, cwd=None):
    proc = subprocess.run([sys.executable, script, "--check"], cwd=cwd,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          universal_newlines=True)
    return proc.returncode, proc.stdout.strip()


def check_current(script):
    """make-icons --check passes on the committed files (from another cwd)."""
    with tempfile.TemporaryDirectory() as cwd:
        code, out = run_check(os.path.abspath(script), cwd=cwd)
    return [] if code == 0 else ["exit %d: %s" % (code, out)]


def check_stale_detected(resources, script):
    """--check notices a changed icon: run a copy on a tampered copy."""
    with tempfile.TemporaryDirectory() as tmp:
        os.mkdir(os.path.join(tmp, "scripts"))
        os.mkdir(os.path.join(tmp, "resources"))
        copy = os.path.join(tmp, "scripts", os.path.basename(script))
        shutil.copy(script, copy)
        for name in EXPECTED:
            shutil.copy(os.path.join(resources, name),
                        os.path.join(tmp, "resources", name))
        victim = os.path.join(tmp, "resources", "A_MAIN_0001.ico")
        with open(victim, "r+b") as f:
            f.seek(-1, os.SEEK_END)
            last = f.read(1)
            f.seek(-1, os.SEEK_END)
            f.write(bytes([last[0] ^ 0x01]))
        code, out = run_check(copy, cwd=tmp)
    errors = []
    if code == 0:
        errors.append("--check exited 0 on a modified icon")
    elif "A_MAIN_0001.ico" not in out:
        errors.append("--check failed without naming the file: " + out)
    return errors


def main(argv):
    if len(argv) != 3:
        print("usage: check_icons.py RESOURCES_DIR MAKE_ICONS_SCRIPT")
        return 2
    resources, script = argv[1], argv[2]
    passed = failed = 0

    def report(label, errors):
        nonlocal passed, failed
        if errors:
            failed += 1
            print("FAIL %s: %s" % (label, "; ".join(errors)))
        else:
            passed += 1
            print("ok   %s" % label)

    for name, expected in EXPECTED.items():
        path = os.path.join(resources, name)
        try:
            with open(path, "rb") as f:
                data = f.read()
        except OSError as e:
            report(name + ": readable", [str(e)])
            continue
        errors, images = check_layout(data, expected)
        report(name + ": ICONDIR, entry bounds, no overlap, no trailing bytes",
               errors)
        if not images:
            continue
        errors = check_headers(images)
        report(name + ": entries match 40-byte DIB headers and data length",
               errors)
        if errors:
            continue
        report(name + ": sizes and colour depths %s" % expected,
               check_formats(images, expected))
        report(name + ": mask transparency and colours in use",
               check_pixels(images))

    report("make-icons --check: committed icons are current",
           check_current(script))
    report("make-icons --check: a modified icon is reported",
           check_stale_detected(resources, script))

    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
