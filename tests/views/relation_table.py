"""Writes gene relation tables for the relation graph tests with Python's csv module.

Usage:
  relation_table.py OUT rows          rows from stdin, a JSON list of lists, written as they are
  relation_table.py OUT grid N        N distinct relations between series 1..100 and 1001..; before every
                                      relation a line that must be skipped (ids 0 or not numbers, weights
                                      that are not finite numbers of 0 or more, too few fields)
"""
import csv
import json
import sys

SKIPPED = [
    ['0', 'Zero', '9005', 'Five', '0.5'],
    ['9005', 'Five', '0', 'Zero', '0.5'],
    ['abc', 'Text', '9005', 'Five', '0.5'],
    ['series1', 'symbol1', 'series2', 'symbol2', 'weight'],
    ['9005', 'Five', '9006', 'Six', 'nan'],
    ['9005', 'Five', '9006', 'Six', '-inf'],
    ['9005', 'Five', '9006', 'Six', '-0.25'],
    ['9005', 'Five', '9006', 'Six'],
    ['4294967301', 'Wrapped', '9006', 'Six', '0.5'],
]


def grid(count):
    for i in range(count):
        yield SKIPPED[i % len(SKIPPED)]
        yield [str(i % 100 + 1), 'A%d' % (i % 100 + 1), str(1001 + i // 100), 'B%d' % (1001 + i // 100),
               repr(0.5 + (i % 7) / 14.0)]


def main(out, mode, *rest):
    rows = json.load(sys.stdin) if mode == 'rows' else grid(int(rest[0]))
    with open(out, 'w', newline='') as table:
        writer = csv.writer(table)
        for row in rows:
            writer.writerow(row)


if __name__ == '__main__':
    main(*sys.argv[1:])
