"""An independent reader of the mesh files (.msh, .amsh, .ls) and a POV-Ray rendering of a .msh.

Usage:
  mesh_reference.py summary OUT FILE...
      writes one line per file to OUT:
      PATH VERTICES PARTS INDICES MINX MINY MINZ MAXX MAXY MAXZ CX CY CZ
      PARTS counts strips, groups or polylines; INDICES all their indices (points for .ls); the extents
      and centroid are those of the positions (0 for a file without any).
  mesh_reference.py pov MSH NAME OUT
      writes the POV-Ray declaration of MSH as the object NAME to OUT.
"""
import struct
import sys


class Reader:
    def __init__(self, path):
        with open(path, 'rb') as f:
            self.data = f.read()
        self.at = 0

    def take(self, fmt):
        values = struct.unpack_from('<' + fmt, self.data, self.at)
        self.at += struct.calcsize('<' + fmt)
        return values


def read_msh(path):
    r = Reader(path)
    (n,) = r.take('I')
    vertices = [r.take('6f') for _ in range(n)]
    (s,) = r.take('I')
    strips = []
    for _ in range(s):
        (k,) = r.take('H')
        strips.append(list(r.take('%dI' % k)))
    return [v[3:6] for v in vertices], [v[0:3] for v in vertices], strips


def read_amsh(path):
    r = Reader(path)
    marker, version = struct.unpack_from('<II', r.data, 0) if len(r.data) >= 8 else (0, 0)
    if marker == 0xF00DF00D and version == 1:
        r.at = 8
        layout = '6fIIf'
    else:
        layout = '6fBBHf'
    (n,) = r.take('I')
    positions = [r.take(layout)[3:6] for _ in range(n)]
    groups = []
    if n:
        (g,) = r.take('I')
        for _ in range(g):
            (k,) = r.take('H')
            groups.append(list(r.take('%dI' % k)))
    return positions, groups


def read_ls(path):
    r = Reader(path)
    (count,) = r.take('I')
    lines = []
    for _ in range(count):
        (p,) = r.take('H')
        lines.append([r.take('3f7I')[0:3] for _ in range(p)])
    return [p for line in lines for p in line], lines


def summary(path):
    if path.endswith('.msh'):
        positions, _, parts = read_msh(path)
        indices = sum(len(p) for p in parts)
    elif path.endswith('.amsh'):
        positions, parts = read_amsh(path)
        indices = sum(len(p) for p in parts)
    else:
        positions, parts = read_ls(path)
        indices = len(positions)
    if positions:
        lo = [min(p[a] for p in positions) for a in range(3)]
        hi = [max(p[a] for p in positions) for a in range(3)]
        centre = [sum(p[a] for p in positions) / len(positions) for a in range(3)]
    else:
        lo = hi = centre = [0.0, 0.0, 0.0]
    numbers = ' '.join('%.9g' % x for x in lo + hi + centre)
    return '%s %d %d %d %s' % (path, len(positions), len(parts), indices, numbers)


def vector(v):
    # The C++ side prints single-precision values with six significant digits.
    return '<%s>' % ','.join('%g' % x for x in v)


def pov(path, name):
    positions, normals, strips = read_msh(path)
    lines = ['#declare %s = object {' % name, 'mesh { ']
    for strip in strips:
        for i in range(len(strip) - 2):
            parts = []
            for k in strip[i:i + 3]:
                parts += [vector(positions[k]), vector(normals[k])]
            lines.append('smooth_triangle { %s }' % ', '.join(parts))
    lines += ['}', '}']
    return '\n'.join(lines) + '\n'


def main():
    if sys.argv[1] == 'summary':
        with open(sys.argv[2], 'w') as out:
            for path in sys.argv[3:]:
                out.write(summary(path) + '\n')
    elif sys.argv[1] == 'pov':
        with open(sys.argv[4], 'w') as out:
            out.write(pov(sys.argv[2], sys.argv[3]))
    else:
        sys.exit('unknown mode ' + sys.argv[1])


if __name__ == '__main__':
    main()
