# SPDX-License-Identifier: GPL-3.0-or-later
"""Measures, in a picture of the main window's client area, the contrast of each transport
glyph against its button: the button's colour is the commonest colour of its face, the glyph's
the commonest colour that stands apart from it (the solid inside of the shape).
   glyph_contrast.py <client.png> <label>"""
import collections
import subprocess
import sys

# Left edges of the seven buttons as laid out (41 x 25 at top 288 of the central area).
BUTTONS = {"play": 8, "pause": 59, "stop": 109, "previous": 160, "back": 211, "forward": 261,
           "next": 312}


def pixels(path, x, y, w, h):
    text = subprocess.run(["convert", path, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage",
                           "-depth", "8", "txt:-"], capture_output=True, text=True, check=True)
    out = []
    for line in text.stdout.splitlines()[1:]:
        colour = line.split("#")[1][:6]
        out.append(tuple(int(colour[i:i + 2], 16) for i in (0, 2, 4)))
    return out


def luminance(c):
    def lin(v):
        v /= 255
        return v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4
    return 0.2126 * lin(c[0]) + 0.7152 * lin(c[1]) + 0.0722 * lin(c[2])


def contrast(a, b):
    la, lb = sorted((luminance(a), luminance(b)), reverse=True)
    return (la + 0.05) / (lb + 0.05)


path, label = sys.argv[1], sys.argv[2]
size = subprocess.run(["identify", "-format", "%w %h", path], capture_output=True, text=True,
                      check=True).stdout.split()
top = int(size[1]) - 344 + 288  # the menu bar sits above the 362 x 344 client area
worst = None
for name, left in BUTTONS.items():
    # The middle of the face, inside the button's frame.
    face = pixels(path, left + 4, top + 3, 33, 19)
    back = collections.Counter(face).most_common(1)[0][0]
    ink = [c for c in face if contrast(c, back) >= 1.5]
    glyph = collections.Counter(ink).most_common(1)[0][0] if ink else back
    ratio = contrast(glyph, back)
    worst = ratio if worst is None else min(worst, ratio)
    print("%s %-8s button #%02x%02x%02x glyph #%02x%02x%02x contrast %.2f:1" %
          ((label, name) + back + glyph + (ratio,)))
print("%s lowest %.2f:1" % (label, worst))
sys.exit(0 if worst >= 3.0 else 1)
