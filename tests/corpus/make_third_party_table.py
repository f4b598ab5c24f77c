#!/usr/bin/python3
"""Decodes every file of tests/corpus/third-party with Pillow and ImageMagick and writes the
table the corpus test checks the converter against (third-party/expected.txt).

Each line: file, what export or the PNG decoder must give (refused, or WxH and the FNV-1a 64
of the RGBA8 pixels, top row first), which reference that follows, then each reference's own
result. Needs python3-pil and ImageMagick's convert; the test itself needs neither.

Rerun after adding files: /usr/bin/python3 tests/corpus/make_third_party_table.py
"""

import os
import subprocess
import sys

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "third-party")

# Where the references disagree, or the format leaves a case open, the choice made for each
# file; docs/DESIGN.md gives the reasons. Every other disagreement follows ImageMagick, which
# reads every bit-field layout, rounds 5- and 6-bit channels to 8 bits, decodes RLE4 absolute
# runs right, and scales 16-bit PNG samples as libpng does (Pillow clips 16-bit greys).
CHOICES = {
    # Pillow's readings.
    "bmpsuite/q/pal8os2v2.bmp": "pillow",       # a 64-byte OS/2 header: its first 40 bytes
    "bmpsuite/q/rgb32fakealpha.bmp": "pillow",  # no alpha mask: the fourth byte is not alpha
    "bmpsuite/b/badplanes.bmp": "pillow",       # biPlanes is not looked at
    "bmpsuite/b/badfilesize.bmp": "pillow",     # the real size counts, not bfSize
    "bmpsuite/b/badheadersize.bmp": "pillow",   # an unknown header size is refused
    # Both read it, each its own way: a run past the end of its row is refused.
    "bmpsuite/b/badrle.bmp": "refused",
}


def fnv1a64(data):
    h = 0xCBF29CE484222325
    for b in data:
        h ^= b
        h = (h * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return h


def outcome(width, height, rgba):
    return "%dx%d:%016x" % (width, height, fnv1a64(rgba))


def pillow(path):
    try:
        with Image.open(path) as im:
            im.load()
            return outcome(im.width, im.height, im.convert("RGBA").tobytes())
    except Exception:
        return "refused"


def sixteen_bit_png(path):
    with open(path, "rb") as f:
        head = f.read(25)
    return path.endswith(".png") and len(head) == 25 and head[24] == 16


def magick(path):
    """ImageMagick's reading; a 16-bit PNG's samples are taken at 16 bits and rounded to 8
    (v * 255 / 65535, to nearest), as libpng scales them, where convert would cut them."""
    if sixteen_bit_png(path):
        run = subprocess.run(["convert", path + "[0]", "-set", "colorspace", "sRGB", "-depth", "16",
                              "-type", "TrueColorAlpha", "pam:-"], capture_output=True, check=False)
        if run.returncode != 0 or not run.stdout.startswith(b"P7\n"):
            return "refused"
        head, _, body = run.stdout.partition(b"ENDHDR\n")
        fields = dict(line.split(b" ", 1) for line in head.split(b"\n")[1:] if b" " in line)
        width, height = int(fields[b"WIDTH"]), int(fields[b"HEIGHT"])
        samples = [(body[i] << 8 | body[i + 1]) for i in range(0, len(body), 2)]
        return outcome(width, height, bytes((v * 255 + 32767) // 65535 for v in samples))
    return magick8(path)


def magick8(path):
    # A PNG's gAMA makes ImageMagick convert the samples; the samples as stored are wanted.
    raw = ["-set", "colorspace", "sRGB"] if path.endswith(".png") else []
    run = subprocess.run(["convert", path + "[0]"] + raw + ["-depth", "8", "-type", "TrueColorAlpha", "pam:-"],
                         capture_output=True, check=False)
    if run.returncode != 0 or not run.stdout.startswith(b"P7\n"):
        return "refused"
    head, _, body = run.stdout.partition(b"ENDHDR\n")
    fields = dict(line.split(b" ", 1) for line in head.split(b"\n")[1:] if b" " in line)
    width, height, depth = int(fields[b"WIDTH"]), int(fields[b"HEIGHT"]), int(fields[b"DEPTH"])
    if depth != 4 or len(body) != width * height * 4:
        return "refused"
    return outcome(width, height, body)


def choose(name, by_pillow, by_magick):
    choice = CHOICES.get(name)
    if choice == "refused":
        return "refused", "choice"
    if choice is None and by_pillow == by_magick:
        return by_pillow, "both"
    if choice is None:
        choice = "magick"
    return (by_pillow, "pillow") if choice == "pillow" else (by_magick, "magick")


def main():
    names = []
    for folder, _, files in os.walk(ROOT):
        for f in files:
            if f.endswith((".bmp", ".png")):
                names.append(os.path.relpath(os.path.join(folder, f), ROOT))
    lines = ["# file expected follows pillow imagemagick",
             "# made by tests/corpus/make_third_party_table.py with Pillow %s and %s" % (
                 Image.__version__, subprocess.run(["convert", "-version"], capture_output=True,
                                                   text=True).stdout.split("\n")[0].split(" https")[0])]
    for name in sorted(names):
        path = os.path.join(ROOT, name)
        by_pillow, by_magick = pillow(path), magick(path)
        expected, follows = choose(name, by_pillow, by_magick)
        lines.append(" ".join([name, expected, follows, by_pillow, by_magick]))
    with open(os.path.join(ROOT, "expected.txt"), "w", encoding="ascii") as out:
        out.write("\n".join(lines) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
