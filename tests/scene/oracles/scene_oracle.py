"""Reference computations of the scene tests, in numpy.

Usage: scene_oracle.py COMMAND INPUT.json OUTPUT
  plot      the 150 x 150 BGRA bytes of an expression threshold plot (rows top first)
  transfer  the 256 RGBA bytes of a volume renderer's transfer table
  mip       the RGB bytes, blended over black, of a maximum intensity projection along the last axis
            (z slowest in the volume file) through a transfer table, one pixel per (x, y) grid column
"""
import json
import sys

import numpy as np


def plot(spec):
    image = np.zeros((150, 150, 4), dtype=np.uint8)
    low, high = spec['minimum'], spec['maximum']
    span = high - low if high > low else 1.0
    for density, value, colour in spec['dots']:
        column = 5 + int(np.clip(np.float32(density) * 145 / 100 + 0.5, 0, 144))
        row = 149 - int(np.clip((np.float32(value) - low) * 150 / span + 0.5, 0, 149))
        image[row, column] = [colour[2], colour[1], colour[0], 255]
    entries = spec.get('colormap')
    if entries:
        table = np.array(entries, dtype=np.uint8).reshape(256, 3)
        wmin, wmax = spec['window']
        width = wmax - wmin if wmax != wmin else 1.0
        for u in range(150):
            v = float(int((high - low) / 150 * (149 - u) + low))
            i = int(np.clip((v - wmin) / width * 255 + 0.5, 0, 255))
            image[u, 0:4] = [table[i, 2], table[i, 1], table[i, 0], 255]
    return image.tobytes()


def transfer(spec):
    a_low, a_high, b_low, b_high = spec['windows']
    mip = spec['mip']
    table = np.array(spec['colormap'], dtype=np.uint8).reshape(256, 3) if mip else None

    def entry(c):
        if not mip:
            return [c, c, c, c]
        r, g, b = (int(x) for x in table[c])
        return [r, g, b, min(255, int(((r + g + b) // 3) * 1.5))]

    out = np.zeros((256, 4), dtype=np.uint8)
    t = np.float32(0)
    step = np.float32(255) / np.float32(a_high - a_low)
    for i in range(256):
        if i < a_low:
            continue
        if i < a_high:
            if mip:
                c = 0 if t < b_low else 255 if t > b_high else int(t)
            else:
                c = 0 if t <= b_low else 255 if t >= b_high else int(t)
            out[i] = entry(c)
            t = np.float32(t + step)
        else:
            out[i] = entry(255)
    return out.tobytes()


def mip(spec):
    sx, sy, sz = spec['size']
    volume = np.fromfile(spec['volume'], dtype=np.uint8).reshape(sz, sy, sx)
    table = np.frombuffer(transfer(spec), dtype=np.uint8).reshape(256, 4).astype(np.float64)
    rgba = table[volume.max(axis=0)]
    blended = rgba[..., :3] * rgba[..., 3:4] / 255.0
    return np.rint(blended).astype(np.uint8).tobytes()


def main():
    command, source, target = sys.argv[1:4]
    with open(source) as f:
        spec = json.load(f)
    result = {'plot': plot, 'transfer': transfer, 'mip': mip}[command](spec)
    with open(target, 'wb') as f:
        f.write(result)


if __name__ == '__main__':
    main()
