"""NIfTI-1 test files and the voxel values nibabel reads from them.

Usage: nifti_reference.py FOLDER
Writes FOLDER/cases.txt, one case a line:
  read NAME PATH KIND   -- PATH must read; FOLDER/NAME.ref holds the first volume's values as
                           nibabel reads them (unscaled, x fastest), KIND u16 or u64, and
                           FOLDER/NAME.geom "size_x size_y size_z pixdim_x pixdim_y pixdim_z"
  refuse NAME PATH      -- PATH must be refused
"""
import gzip
import os
import struct
import sys
import zlib

import nibabel
import numpy as np

DATA = os.path.join(os.path.dirname(nibabel.__file__), 'tests', 'data')


def first_volume(image):
    data = np.asanyarray(image.dataobj.get_unscaled())
    while data.ndim > 3:
        data = data[..., 0]
    return data


def reference(folder, name, path, kind, lines):
    image = nibabel.load(path)
    data = first_volume(image)
    values = data.ravel(order='F')
    if kind == 'u16':
        # Signed 16-bit voxels are read into an unsigned 16-bit image bit for bit.
        values = (values.astype(np.int64) & 0xFFFF).astype('<u2')
    else:
        values = values.astype('<u8')
    values.tofile(os.path.join(folder, name + '.ref'))
    zooms = image.header['pixdim'][1:4]
    with open(os.path.join(folder, name + '.geom'), 'w') as geom:
        geom.write('%d %d %d %r %r %r\n' % (data.shape + tuple(float(z) for z in zooms)))
    lines.append('read %s %s %s' % (name, path, kind))


def gzip_with_header_fields(plain_path, out_path):
    """A gzip member carrying an extra field, a file name, a comment and a header CRC."""
    raw = open(plain_path, 'rb').read()
    header = bytearray(b'\x1f\x8b\x08' + bytes([4 | 8 | 16 | 2]) + b'\0\0\0\0\0\xff')
    extra = b'AB\x03\x00xyz'
    header += struct.pack('<H', len(extra)) + extra
    header += b'volume.nii\0' + b'made for a test\0'
    header += struct.pack('<H', zlib.crc32(bytes(header)) & 0xFFFF)
    deflate = zlib.compressobj(6, zlib.DEFLATED, -15)
    body = deflate.compress(raw) + deflate.flush()
    trailer = struct.pack('<II', zlib.crc32(raw) & 0xFFFFFFFF, len(raw) & 0xFFFFFFFF)
    open(out_path, 'wb').write(bytes(header) + body + trailer)


def main(folder):
    rng = np.random.default_rng(7)
    lines = []
    reference(folder, 'example4d', os.path.join(DATA, 'example4d.nii.gz'), 'u16', lines)
    reference(folder, 'functional', os.path.join(DATA, 'functional.nii'), 'u16', lines)

    u16 = rng.integers(0, 65536, size=(7, 5, 3), dtype=np.uint16)
    image = nibabel.Nifti1Image(u16, np.diag([0.5, 0.25, 2.0, 1.0]), dtype=np.uint16)
    for name in ('u16.nii', 'u16.nii.gz'):
        nibabel.save(image, os.path.join(folder, name))
        reference(folder, name.replace('.', '_'), os.path.join(folder, name), 'u16', lines)

    u64 = rng.integers(0, 1 << 63, size=(4, 6, 5), dtype=np.uint64) >> rng.integers(0, 63, size=(4, 6, 5),
                                                                                   dtype=np.uint64)
    u64[0, 0, 0] = 0
    u64[1, 0, 0] = 1
    u64[2, 0, 0] = (1 << 64) - 1
    image = nibabel.Nifti1Image(u64, np.diag([1.0, 1.5, 2.5, 1.0]), dtype=np.uint64)
    for name in ('u64.nii', 'u64.nii.gz'):
        nibabel.save(image, os.path.join(folder, name))
        reference(folder, name.replace('.', '_'), os.path.join(folder, name), 'u64', lines)

    # The gzip tool and Python's gzip module store the original file name in the header.
    plain = os.path.join(folder, 'u16.nii')
    named = os.path.join(folder, 'named.nii.gz')
    with open(named, 'wb') as out, gzip.GzipFile(filename='u16.nii', mode='wb', fileobj=out) as member:
        member.write(open(plain, 'rb').read())
    reference(folder, 'named', named, 'u16', lines)
    fields = os.path.join(folder, 'fields.nii.gz')
    gzip_with_header_fields(plain, fields)
    reference(folder, 'fields', fields, 'u16', lines)

    # 8-bit voxels, too few bytes for 16-bit reading; big-endian headers; a NIfTI-2 header.
    for name in ('standard.nii.gz', 'anatomical.nii', 'reoriented_anat_moved.nii', 'example_nifti2.nii.gz'):
        lines.append('refuse %s %s' % (name.replace('.', '_'), os.path.join(DATA, name)))

    with open(os.path.join(folder, 'cases.txt'), 'w') as cases:
        cases.write('\n'.join(lines) + '\n')


if __name__ == '__main__':
    main(sys.argv[1])
