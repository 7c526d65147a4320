#!/usr/bin/python3
"""Render Tallowick's icons: platform/window/res/tallowick.ico and chevron.ico.

Run from anywhere; paths are resolved against the repository root.
Each size is drawn on its own grid so the 16 px versions stay legible
instead of being a blurry shrink of the 48 px artwork.
"""
import struct
from pathlib import Path

from PIL import Image, ImageDraw

ROOT = Path(__file__).resolve().parent.parent
SIZES = (16, 20, 24, 32, 48)

OUTLINE = (64, 64, 64, 255)
PAGE = (255, 255, 255, 255)
FOLD = (214, 214, 214, 255)
TEXT = (110, 160, 220, 255)


def document(s):
    """White page with a dog-ear, drawn at 1:1 so every edge is a hard pixel."""
    im = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    d = ImageDraw.Draw(im)
    w = 1 if s < 40 else 2                        # outline thickness
    l, r = round(s * 0.125), s - 1 - round(s * 0.125)
    t, b = 0, s - 1
    f = round(s * 0.3)                            # dog-ear leg length
    page = [(l, t), (r - f, t), (r, t + f), (r, b), (l, b)]
    d.polygon(page, fill=PAGE)
    d.polygon([(r - f, t), (r - f, t + f), (r, t + f)], fill=FOLD)
    for i in range(w):                            # inset rings keep a thick outline inside the page
        d.line([(l + i, t + i), (r - f, t + i)], fill=OUTLINE)
        d.line([(r - f, t + i), (r - i, t + f)], fill=OUTLINE)
        d.line([(r - i, t + f), (r - i, b - i), (l + i, b - i), (l + i, t + i)], fill=OUTLINE)
        d.line([(r - f + i, t), (r - f + i, t + f - i), (r, t + f - i)], fill=OUTLINE)
    # Text lines: thickness and pitch grow with the size, first line clears the fold.
    th = max(1, s // 16)
    pitch = th * 2 + (1 if s >= 24 else 0)
    x0, x1 = l + w + max(1, s // 12), r - w - max(1, s // 12)
    y = t + f + w + th
    n = 0
    while y + th - 1 <= b - w - max(1, s // 16):
        short = n % 3 == 2                        # ragged right edge reads as prose
        d.rectangle([x0, y, x1 - (x1 - x0) // 3 if short else x1, y + th - 1], fill=TEXT)
        y += pitch
        n += 1
    # Shorter first line beside the fold uses the space left of the dog-ear.
    d.rectangle([x0, t + w + th, r - f - w - max(1, s // 16), t + w + 2 * th - 1], fill=TEXT)
    return im


def chevron(s):
    """Round silver button with a white double chevron, supersampled for a smooth rim."""
    k = 8
    S = s * k
    grad = Image.new("RGBA", (S, S))
    gd = ImageDraw.Draw(grad)
    for y in range(S):                            # top-lit: light silver fading to mid grey
        v = round(218 - 98 * y / (S - 1))
        gd.line([(0, y), (S, y)], fill=(v, v, v + 4, 255))
    mask = Image.new("L", (S, S), 0)
    ImageDraw.Draw(mask).ellipse([0, 0, S - 1, S - 1], fill=255)
    im = Image.new("RGBA", (S, S), (0, 0, 0, 0))
    im.paste(grad, (0, 0), mask)
    d = ImageDraw.Draw(im)
    rim = k * (1 if s < 40 else 2)
    d.ellipse([0, 0, S - 1, S - 1], outline=(0, 0, 0, 255), width=rim)
    im = im.resize((s, s), Image.Resampling.LANCZOS)
    # The chevrons are drawn at 1:1 as 45-degree pixel staircases, which stay sharp
    # at every size where an antialiased stroke would smear into the silver at 16 px.
    d = ImageDraw.Draw(im)
    h = round(s * 0.45) | 1                       # odd height gives a single-pixel tip
    t = max(2, round(s / 8))                      # horizontal stroke thickness
    gap = 2 * t
    x0 = (s - (gap + h // 2 + t)) // 2 + 1        # nudged right: arrows read as centred
    y0 = (s - h) // 2
    # A soft shadow one row below the white keeps the arrows legible on light silver.
    for dy, col in ((1, (70, 70, 75, 150)), (0, (255, 255, 255, 255))):
        for cx in (x0, x0 + gap):
            for i in range(h):
                x = cx + min(i, h - 1 - i)
                d.line([(x, y0 + i + dy), (x + t - 1, y0 + i + dy)], fill=col)
    return im


def write_ico(path, images):
    """ICO with uncompressed 32-bit BMP entries: old loaders and windres handle these best."""
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = len(head) + 16 * len(images)
    entries, blobs = b"", b""
    for im in images:
        w, h = im.size
        xor = im.transpose(Image.Transpose.FLIP_TOP_BOTTOM).tobytes("raw", "BGRA")
        stride = ((w + 31) // 32) * 4
        alpha = im.getchannel("A").transpose(Image.Transpose.FLIP_TOP_BOTTOM).load()
        mask = bytearray()
        for y in range(h):                        # AND mask: 1 = transparent, for pre-alpha Windows
            row = bytearray(stride)
            for x in range(w):
                if alpha[x, y] == 0:
                    row[x // 8] |= 0x80 >> (x % 8)
            mask += row
        bih = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        blob = bih + xor + bytes(mask)
        entries += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        blobs += blob
    path.write_bytes(head + entries + blobs)


def preview(path, rows, zoom=4):
    """Contact sheet at 4x on light and dark grounds, to judge edges and transparency."""
    pad = 8
    cell = max(SIZES) * zoom + pad
    sheet = Image.new("RGBA", (pad + 2 * len(SIZES) * cell, pad + len(rows) * cell), (255, 255, 255, 255))
    ImageDraw.Draw(sheet).rectangle([sheet.width // 2, 0, sheet.width, sheet.height], fill=(45, 45, 48, 255))
    for ri, imgs in enumerate(rows):
        for half in (0, 1):
            for ci, im in enumerate(imgs):
                big = im.resize((im.width * zoom, im.height * zoom), Image.Resampling.NEAREST)
                x = pad + (half * len(SIZES) + ci) * cell
                sheet.alpha_composite(big, (x, pad + ri * cell))
    path.parent.mkdir(parents=True, exist_ok=True)
    sheet.save(path)


def main():
    res = ROOT / "platform" / "window" / "res"
    res.mkdir(parents=True, exist_ok=True)
    docs = [document(s) for s in SIZES]
    chevs = [chevron(s) for s in SIZES]
    write_ico(res / "tallowick.ico", docs)
    write_ico(res / "chevron.ico", chevs)
    preview(ROOT / "build" / "icons-preview.png", [docs, chevs])


if __name__ == "__main__":
    main()
