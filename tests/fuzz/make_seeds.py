#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets: a few valid calls per plug-in,
encoded in the byte layout that fuzz_call.h decodes. Run from this folder."""
import os
import random
import struct

PALETTE_ONE = 1  # index of 1.0 in the palette


def value(v):
    """A raw double: a byte divisible by 4, then its 8 bytes."""
    return bytes([0]) + struct.pack('<d', v)


def array(dims, values, shared, cls=0):
    """A double array (cls 0) or uint8 array (cls 5) of up to 4 dimensions."""
    kind = cls | (len(dims) - 1) << 3
    out = bytes([kind])
    for d in dims:
        out += bytes([0x80 | shared.index(d)]) if d > 6 else bytes([d])
    if cls == 5:
        count = 1
        for d in dims:
            count *= d
        raw = bytes(values) + bytes(8 * count - len(values))
        return out + raw
    return out + b''.join(value(v) for v in values)


def call(nlhs, inputs, shared=(7, 8, 9, 9)):
    head = bytes([nlhs, len(inputs)]) + bytes(shared)
    return head + b''.join(array(*i, list(shared)) if len(i) == 2 else
                           array(i[0], i[1], list(shared), i[2]) for i in inputs)


def rand(count, rng):
    return [rng.uniform(-1, 1) for _ in range(count)]


def seeds():
    rng = random.Random(1)
    N, n, M = 9, 2, 3
    x, y, q = rand(N * n, rng), rand(N, rng), rand(M * n, rng)
    near = [((N, n), x), ((N, 1), y), ((M, n), q)]
    yield 'nearpoly', call(1, near + [((3, 1), [1, 1, 0])])
    yield 'nearpoly', call(2, near + [((3, 2), [2, 2, 2, 9, 9, 9]), ((1, 3), [1, 2, 1])])
    yield 'nearpoly', call(2, near + [((3, 3), [2, 3, 2, 5, 9, 8, 2, 0, 3]), ((1, 1), [3]),
                                      ((1, 1), [10.0]), ((1, 2), [1, 0.5])])

    n, c, p, N = 2, 3, 1, 4
    net = [((n, N), rand(n * N, rng)), ((n, c), rand(n * c, rng)),
           ((n, n, c), [1, 0.2, 0.2, 1] * c), ((p, n + 1, c), rand(p * (n + 1) * c, rng))]
    yield 'netsim', call(1, net)
    yield 'netsim', call(1, net + [((1, 1), [0]), ((1, 1), [2]), ((1, 1), [1.5])])
    yield 'dmat_inputs', call(2, net)
    yield 'dmat_inputs', call(2, net + [((1, 1), [1]), ((1, 1), [2]), ((1, 1), [3])])
    yield 'dmat_params', call(2, net)
    yield 'dmat_params', call(2, net + [((1, 1), [1]), ((1, 1), [1]), ((1, 1), [2]),
                                        ((1, 1), [12], 5)])

    table = [10, 20, 30, 40, 50, 60]
    yield 'gridval', call(1, [((2, 3), [1.5, 0.25, -1, 5, 2, 0]), ((3, 2), table),
                              ((1, 3), [0, 1, 2]), ((1, 2), [0, 1])])
    yield 'gridval', call(1, [((3, 2), rand(6, rng)), ((2, 2, 2), rand(8, rng)),
                              ((1, 2), [-1, 1]), ((1, 2), [-1, 1]), ((1, 2), [0, 0.5])])


if __name__ == '__main__':
    counts = {}
    for plugin, data in seeds():
        counts[plugin] = counts.get(plugin, 0) + 1
        os.makedirs(os.path.join('seeds', plugin), exist_ok=True)
        with open(os.path.join('seeds', plugin, 'seed%d' % counts[plugin]), 'wb') as f:
            f.write(data)
