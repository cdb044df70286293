"""The Python side of the LinLog layout benchmark.

Usage:
  linlog_igraph.py generate DIR        writes DIR/graphN.csv (relation tables, csv module) and DIR/graphN.labels
                                       for N = 1000 (10 clusters) and 5000 (25 clusters): about 8 relations inside
                                       the cluster and 1 outside per node, weights 0.5 to 1, fixed seed
  linlog_igraph.py compare DIR N...    reads DIR/linlogN.csv (positions) and DIR/linlogN.time (best seconds) that
                                       bench_linlog wrote, times igraph's Fruchterman-Reingold (grid) and DrL
                                       layouts on the same graphs (best of 3) and prints times, time ratios, the
                                       LinLog energy of every placement at its best uniform scale and the share of
                                       nodes nearest their own cluster's centre
"""
import csv
import math
import os
import sys
import time

import igraph
import numpy as np

GRAPHS = {1000: 10, 5000: 25}
SEED = 20261207
REPEATS = 3
GRAVITATION = 0.01


def generate(folder):
    rng = np.random.default_rng(SEED)
    for n, clusters in GRAPHS.items():
        size = n // clusters
        label = np.arange(n) // size
        edges = set()
        inside = 8.0 / (size - 1)
        for c in range(clusters):
            upper = np.triu(rng.random((size, size)) < inside, 1)
            for i, j in zip(*np.nonzero(upper)):
                edges.add((c * size + int(i), c * size + int(j)))
        between = rng.binomial(n * (n - size) // 2, 1.0 / (n - size))
        while between > 0:
            i, j = (int(v) for v in rng.integers(0, n, 2))
            if label[i] != label[j] and (min(i, j), max(i, j)) not in edges:
                edges.add((min(i, j), max(i, j)))
                between -= 1
        with open(os.path.join(folder, 'graph%d.csv' % n), 'w', newline='') as table:
            writer = csv.writer(table)
            for i, j in sorted(edges):
                writer.writerow([i + 1, 'G%d' % (i + 1), j + 1, 'G%d' % (j + 1), repr(float(rng.uniform(0.5, 1.0)))])
        with open(os.path.join(folder, 'graph%d.labels' % n), 'w', newline='') as labels:
            csv.writer(labels).writerows([i + 1, int(label[i])] for i in range(n))


def read_graph(folder, n):
    ids = {}
    edges, weights = [], []
    with open(os.path.join(folder, 'graph%d.csv' % n), newline='') as table:
        for row in csv.reader(table):
            a, b = (ids.setdefault(int(row[k]), len(ids)) for k in (0, 2))
            edges.append((a, b))
            weights.append(float(row[4]))
    with open(os.path.join(folder, 'graph%d.labels' % n), newline='') as table:
        cluster = {int(row[0]): int(row[1]) for row in csv.reader(table)}
    labels = np.empty(len(ids), dtype=int)
    for series, index in ids.items():
        labels[index] = cluster[series]
    return ids, np.array(edges), np.array(weights), labels


def read_positions(folder, n, ids):
    positions = np.empty((len(ids), 2))
    with open(os.path.join(folder, 'linlog%d.csv' % n), newline='') as table:
        for row in csv.reader(table):
            positions[ids[int(row[0])]] = (float(row[1]), float(row[2]))
    with open(os.path.join(folder, 'linlog%d.time' % n)) as seconds:
        return positions, float(seconds.read())


def energy_at_best_scale(positions, edges, weights):
    """The final LinLog energy (a = 1, r = 0, g = 0.01), node by node over all pairs, at the uniform scale s
    that minimises E(s p) = s L - K ln s + C, that is s = K / L."""
    n = len(positions)
    w = np.zeros(n)
    np.add.at(w, edges[:, 0], weights)
    np.add.at(w, edges[:, 1], weights)
    total = w.sum()
    factor = (2 * weights.sum()) / total / total * math.sqrt(total)
    centre = (w[:, None] * positions).sum(axis=0) / total
    lengths = np.linalg.norm(positions[edges[:, 0]] - positions[edges[:, 1]], axis=1)
    linear = 2 * (lengths * weights).sum()
    linear += (np.linalg.norm(positions - centre, axis=1) * w).sum() * GRAVITATION * factor
    log_coefficient = factor * (total * total - (w * w).sum())
    constant = 0.0
    for start in range(0, n, 500):
        block = positions[start:start + 500]
        d = np.linalg.norm(block[:, None, :] - positions[None, :, :], axis=2)
        pair = w[start:start + 500, None] * w[None, :]
        for k in range(len(block)):
            d[k, start + k] = 1.0  # a node does not repel itself
        constant -= factor * (pair * np.log(d)).sum()
    scale = log_coefficient / linear
    return scale * linear - log_coefficient * math.log(scale) + constant


def own_cluster_share(positions, labels):
    clusters = labels.max() + 1
    centres = np.array([positions[labels == c].mean(axis=0) for c in range(clusters)])
    distances = np.linalg.norm(positions[:, None, :] - centres[None, :, :], axis=2)
    return float((distances.argmin(axis=1) == labels).mean())


def best_time(work):
    best, result = float('inf'), None
    for _ in range(REPEATS):
        start = time.perf_counter()
        result = work()
        best = min(best, time.perf_counter() - start)
    return best, np.array(result.coords)


def compare(folder, sizes):
    print('%-6s %-22s %10s %14s %22s %12s' % ('nodes', 'placement', 'seconds', 'LinLog/this',
                                              'LinLog energy at s*', 'own cluster'))
    linlog_times = {}
    for n in sizes:
        ids, edges, weights, labels = read_graph(folder, n)
        graph = igraph.Graph(n=len(ids), edges=edges.tolist())
        linlog, linlog_time = read_positions(folder, n, ids)
        linlog_times[n] = linlog_time
        fr_time, fr = best_time(lambda: graph.layout_fruchterman_reingold(weights=weights.tolist(), grid=True))
        drl_time, drl = best_time(lambda: graph.layout_drl(weights=weights.tolist()))
        scattered = np.random.default_rng(SEED + n).random((len(ids), 2))
        rows = [('LinLog Barnes-Hut', linlog_time, linlog), ('igraph FR grid', fr_time, fr),
                ('igraph DrL', drl_time, drl), ('random', None, scattered)]
        for name, seconds, positions in rows:
            print('%-6d %-22s %10s %14s %22.6g %12.3f' % (
                len(ids), name, '-' if seconds is None else '%.3f' % seconds,
                '-' if seconds is None else '%.2f' % (linlog_time / seconds),
                energy_at_best_scale(positions, edges, weights), own_cluster_share(positions, labels)))
        sys.stdout.flush()
    if len(sizes) == 2:
        small, large = sizes
        growth = linlog_times[large] / linlog_times[small]
        nlogn = large * math.log(large) / (small * math.log(small))
        print('LinLog time growth %d -> %d nodes: %.2fx (n log n: %.2fx, n^2: %.1fx)' % (
            small, large, growth, nlogn, (large / small) ** 2))


if __name__ == '__main__':
    if sys.argv[1] == 'generate':
        generate(sys.argv[2])
    else:
        compare(sys.argv[2], [int(n) for n in sys.argv[3:]])
