#!/usr/bin/env python3
"""velk's key sets, targets and counts against a model written from docs/lab.md alone.

Makes every kind of keys and writes key files of its own (binary with and without a width
suffix, and text, at 32 and 64 bits, with equal keys, neighbours with no value between them, and
the least and greatest value of the width); draws the targets, counts each method's comparisons
by its rule on them and over every target of each half, and checks velk's csv rows against that;
checks what --save-keys writes, a file's samples, and that a saved file counts as its run did.

    key_sets_model.py --velk VELK --work FOLDER
"""

import argparse
import bisect
import csv
import io
import math
import os
import struct
import subprocess
import sys

MASK = (1 << 64) - 1
GAMMA = 0x9E3779B97F4A7C15
QUICK = ["--format", "csv", "--repetitions", "1", "--min-time", "0.00001"]


class Failure(Exception):
    """A check that did not hold: the test fails with its message."""


def check(condition, message):
    if not condition:
        raise Failure(message)


# The generator and its draws.


def mix(z):
    z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK
    z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK
    return z ^ (z >> 31)


def stream_start(seed, stream):
    return (seed & MASK) ^ (stream << 32)


class Stream:
    def __init__(self, seed, stream):
        self.state = stream_start(seed, stream)

    def draw(self):
        self.state = (self.state + GAMMA) & MASK
        return mix(self.state)

    def below(self, m):
        threshold = ((1 << 64) - m) % m
        while True:
            product = self.draw() * m
            if product & MASK >= threshold:
                return product >> 64

    def unit(self):
        return (self.draw() >> 11) * 2.0**-53


def zipf_ranks(m, s):
    """A function that draws a rank of 1..m from a stream."""

    def e(t):
        return math.expm1(t) / t if abs(t) > 1e-8 else 1.0 + t / 2.0

    def l(t):
        return math.log1p(t) / t if abs(t) > 1e-8 else 1.0 - t / 2.0

    def h(x):
        return e((1.0 - s) * math.log(x)) * math.log(x)

    def h_inverse(y):
        return math.exp(l(max(-1.0, y * (1.0 - s))) * y)

    def w(x):
        return math.exp(-s * math.log(x))

    a, b = h(1.5) - 1.0, h(m + 0.5)
    squeeze = 2.0 - h_inverse(h(2.5) - w(2.0))

    def rank(stream):
        while True:
            u = b + stream.unit() * (a - b)
            x = h_inverse(u)
            r = min(max(math.floor(x + 0.5), 1), m)
            if r - x <= squeeze or u >= h(r + 0.5) - w(r):
                return r

    return rank


def scattered_order(m, key):
    k = mix(key)
    h = max(1, (max(m - 1, 1).bit_length() + 1) // 2)
    half = (1 << h) - 1

    def order(v):
        while True:
            left, right = v >> h, v & half
            for round_ in range(4):
                left, right = right, left ^ (mix(right ^ k ^ (round_ * GAMMA & MASK)) & half)
            v = (left << h) | right
            if v < m:
                return v

    return order


# The kinds.


def quantiles(n):
    a = [-3.969683028665376e01, 2.209460984245205e02, -2.759285104469687e02,
         1.383577518672690e02, -3.066479806614716e01, 2.506628277459239e00]
    b = [-5.447609879822406e01, 1.615858368580409e02, -1.556989798598866e02,
         6.680131188771972e01, -1.328068155288572e01]
    c = [-7.784894002430293e-03, -3.223964580411365e-01, -2.400758277161838e00,
         -2.549732539343734e00, 4.374664141464968e00, 2.938163982698783e00]
    d = [7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e00,
         3.754408661907416e00]

    def q_of(p):
        if p < 0.02425:
            q = math.sqrt(-2.0 * math.log(p))
            x = ((((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5])
                 / ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1.0))
        else:
            q = p - 0.5
            r = q * q
            x = ((((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q
                 / (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1.0))
        e = 0.5 * math.erfc(-x * 0.7071067811865476) - p
        u = e * 2.5066282746310002 * math.exp(x * x / 2.0)
        return x - u / (1.0 + x * u / 2.0)

    z = [0.0] * n
    for i in range((n + 1) // 2):
        z[i] = 0.0 if 2 * i + 1 == n else q_of((float(i) + 0.5) / float(n))
        z[n - 1 - i] = -z[i]
    return z


def scale(f, w):
    greatest = (1 << w) - 1
    return min(math.floor(min(max(f, 0.0), 1.0) * float(greatest)), greatest)


def normal(n, w, _seed):
    z = quantiles(n)
    return [scale((zi / z[-1] + 1.0) / 2.0 if z[-1] > 0.0 else 0.5, w) for zi in z]


def lognormal(n, w, _seed):
    z = quantiles(n)
    sigma = 1.0 if w == 32 else 2.0
    return [scale(math.exp(sigma * (zi - z[-1])), w) for zi in z]


def uniform(n, w, seed):
    keys = Stream(seed, 1)
    return sorted(keys.draw() >> (64 - w) for _ in range(n))


KINDS = {
    "odd": lambda n, w, seed: [2 * i + 1 for i in range(n)],
    "dense": lambda n, w, seed: [i + 1 for i in range(n)],
    "uniform": uniform,
    "normal": normal,
    "lognormal": lognormal,
}


# The targets of each half, and the targets over which the expected comparisons are taken.


def chosen_among(keys, w, successful):
    """The positions the half's targets are chosen among, with the values of each one's gap."""
    n, greatest = len(keys), (1 << w) - 1
    if successful:
        return [(i, 0) for i in range(n) if i == 0 or keys[i - 1] != keys[i]]
    among = []
    for i in range(n):
        gap = keys[i + 1] - keys[i] - 1 if i + 1 < n else greatest - keys[i]
        if gap > 0:
            among.append((i, gap if i + 1 < n else 1))
    return among


def drawn_targets(keys, w, seed, skew, count):
    """The first `count` targets of each half."""
    halves = []
    for successful, stream in ((True, 2), (False, 3)):
        among = chosen_among(keys, w, successful)
        draws = Stream(seed, stream)
        rank = zipf_ranks(len(among), skew) if skew else None
        order = scattered_order(len(among), (stream_start(seed, 4) + (0 if successful else 1))
                                & MASK)
        targets = []
        for _ in range(count):
            at, gap = among[order(rank(draws) - 1) if skew else draws.below(len(among))]
            targets.append(keys[at] if successful else keys[at] + 1 + draws.below(gap))
        halves.append(targets)
    return halves


def every_target(keys, w):
    """Each half's targets as the expected comparisons take them: each distinct key, and the
    least value of each gap."""
    return ([keys[i] for i, _ in chosen_among(keys, w, True)],
            [keys[i] + 1 for i, _ in chosen_among(keys, w, False)])


# The methods' counting rules: each takes the keys and gives a function that counts the
# comparisons of searching a target.


def sequential(keys):
    def count(t):
        i = bisect.bisect_left(keys, t)
        return i + 1 if i < len(keys) and keys[i] == t else len(keys)
    return count


def binary1(keys):
    def count(t):
        bottom, top, counted = 1, len(keys), 1
        while bottom < top:
            mid = (bottom + top) // 2
            if keys[mid - 1] < t:
                counted, bottom = counted + 1, mid + 1
            else:
                top = mid
        return counted
    return count


def binary2(keys):
    def count(t):
        bottom, top, counted = 1, len(keys), 0
        while bottom <= top:
            mid = (bottom + top) // 2
            counted += 1
            if keys[mid - 1] == t:
                break
            counted += 1
            bottom, top = (bottom, mid - 1) if keys[mid - 1] > t else (mid + 1, top)
        return counted
    return count


def branchless(keys):
    return lambda t: (len(keys) - 1).bit_length() + 1  # ceil(log2 n) + 1


def eytzinger(keys):
    n, tree, ordered = len(keys), [0] * (len(keys) + 1), iter(keys)

    def fill(k):
        if k <= n:
            fill(2 * k)
            tree[k] = next(ordered)
            fill(2 * k + 1)

    fill(1)

    def count(t):
        k, levels = 1, 0
        while k <= n:
            k, levels = 2 * k + (1 if tree[k] < t else 0), levels + 1
        return levels + (1 if t <= keys[-1] else 0)
    return count


def interpolation(keys):
    def probe_at(low, high, t):
        if not keys[low - 1] < t:
            return low
        width = keys[high - 1] - keys[low - 1] if keys[low - 1] < keys[high - 1] else 1
        return low + min((t - keys[low - 1]) * (high - low) // width, high - low)

    def count(t):
        low, high, tests, weak = 1, len(keys), 0, 0
        while low <= high:
            before = high - low + 1
            probe = low + (before - 1) // 2 if weak == 2 else probe_at(low, high, t)
            tests += 1
            if keys[probe - 1] < t:
                low = probe + 1
            else:
                high = probe - 1
            weak = 0 if 2 * (high - low + 1) <= before else weak + 1
        return tests + (1 if low <= len(keys) else 0)
    return count


def exponential(keys):
    def count(t):
        bound, tests = 1, 0
        while bound < len(keys):
            tests += 1
            if not keys[bound - 1] < t:
                break
            bound *= 2
        bracket = min(bound, len(keys)) - bound // 2
        return tests + (bracket - 1).bit_length() + 1  # ceil(log2 of the bracket's size) steps
    return count


METHODS = {
    "sequential": sequential, "binary1": binary1, "recbinary1": binary1, "binary2": binary2,
    "recbinary2": binary2, "branchless": branchless, "eytzinger": eytzinger,
    "interpolation": interpolation, "exponential": exponential,
}


# Running velk and reading its rows.


def run_velk(velk, arguments, methods=None):
    methods = methods or ",".join(METHODS)
    done = subprocess.run([velk, *arguments, "--methods", methods, *QUICK], capture_output=True,
                          text=True, check=False)
    check(done.returncode == 0 and done.stderr == "",
          f"velk {' '.join(arguments)} ended with status {done.returncode}: {done.stderr}")
    return list(csv.DictReader(io.StringIO(done.stdout)))


def counted_rows(rows):
    return [r for r in rows if r["comparisons"] != ""]


def check_rows(rows, key_sets, seed, skew, velk_ts):
    """Checks every counted row against the model. `key_sets` maps a row's key set name to a
    function of the size that gives its keys and width; `velk_ts` names the key sets whose
    targets are velk_ts's, whose comparisons the model does not draw."""
    rows = counted_rows(rows)
    check(rows, "velk gave no counted rows")
    for size, name in sorted({(int(r["size"]), r["keys"]) for r in rows}):
        keys, w = key_sets[name](size)
        of_size = [r for r in rows if r["keys"] == name and int(r["size"]) == size]
        searches = int(of_size[0]["searches"])
        drawn = None if name in velk_ts else drawn_targets(keys, w, seed, skew, searches)
        every = every_target(keys, w)
        for r in of_size:
            half = 0 if r["half"] == "successful" else 1
            where = f"{r['method']} on {name} at size {size}, {r['half']} half"
            check(int(r["key_bits"]) == w, f"{where}: {r['key_bits']}-bit keys, not {w}")
            count = METHODS[r["method"]](keys)
            expected = sum(map(count, every[half])) / len(every[half])
            check(float(r["expected_comparisons"]) == expected,
                  f"{where}: expected comparisons {r['expected_comparisons']}, "
                  f"the model {expected!r}")
            if drawn is not None:
                measured = sum(map(count, drawn[half])) / searches
                check(float(r["comparisons"]) == measured,
                      f"{where}: comparisons {r['comparisons']}, the model {measured!r}")


# The key files the model writes itself.


def mixed_keys(w, count):
    """Keys of every shape: the least value twice and its neighbours, runs with no value between
    them, equal keys, widening gaps for interpolation, and the greatest value twice."""
    greatest = (1 << w) - 1
    keys = [0, 0, 1, 2, 3]
    for j in range(count - 10):
        value = 10 + (greatest - 20) * j**4 // (count - 10) ** 4
        keys.append(value)
        if j % 7 == 3:
            keys.append(value)  # equal keys
        if j % 11 == 5:
            keys.append(value + 1)  # a neighbour with no value between them
    keys += [greatest - 1, greatest, greatest]
    return sorted(keys)


def binary_file(keys, w):
    return struct.pack(f"<Q{len(keys)}{'I' if w == 32 else 'Q'}", len(keys), *keys)


def text_file(keys, _w):
    # Blanks around a key, carriage returns, and no line feed after the last key.
    return "\n".join(f" {k}\t\r" if i % 5 == 2 else str(k) for i, k in enumerate(keys)).encode()


# One file a row: its name, its width, and how it is written.
FILES = [
    ("mixed_uint32", 32, binary_file),
    ("mixed32.keys", 32, binary_file),
    ("mixed32.txt", 32, text_file),
    ("mixed_uint64", 64, binary_file),
    ("mixed64.keys", 64, binary_file),
    ("mixed64.txt", 64, text_file),
]


def sample(keys, n):
    return [keys[i * len(keys) // n] for i in range(n)]


def check_files(velk, work):
    """velk reads the model's files, samples them and counts on them as the model does."""
    for w in (32, 64):
        keys = mixed_keys(w, 400)
        names = []
        for name, width, write in FILES:
            if width == w:
                with open(os.path.join(work, name), "wb") as out:
                    out.write(write(keys, w))
                names.append(name)
        sets = {name: (lambda n, keys=keys, w=w: (sample(keys, n), w)) for name in names}
        listed = ",".join(f"file:{os.path.join(work, name)}" for name in names)
        sizes = f"1,2,37,{len(keys) - 1},{len(keys)}"
        for seed, skew in ((0, None), (-7, 1.3), (12, 0.6)):
            arguments = ["--keys", listed, "--key-bits", str(w), "--sizes", sizes,
                         "--searches", "300", "--seed", str(seed)]
            rows = run_velk(velk, arguments + (["--skew", str(skew)] if skew else []))
            check_rows(rows, sets, seed, skew, velk_ts=())
        saved = os.path.join(work, f"sample_uint{w}")
        run_velk(velk, ["--keys", f"file:{os.path.join(work, names[-1])}", "--key-bits", str(w),
                        "--sizes", "37", "--save-keys", saved], methods="binary1")
        with open(saved, "rb") as got:
            check(got.read() == binary_file(sample(keys, 37), w),
                  f"the sample of 37 keys of {names[-1]} is not at the positions floor(i N / n)")


def check_kinds(velk, work):
    """Every kind's keys as --save-keys writes them, its counts, and the same counts again from
    the saved files."""
    size, seed = 600, 5
    for w in (32, 64):
        saved_rows = []
        for kind, make in KINDS.items():
            saved = os.path.join(work, f"{kind}_uint{w}")
            # The largest size first: --save-keys keeps the largest, not the last.
            rows = run_velk(velk, ["--keys", kind, "--key-bits", str(w), "--sizes",
                                   f"{size},2,3,10", "--searches", "300", "--seed", str(seed),
                                   "--save-keys", saved])
            with open(saved, "rb") as got:
                check(got.read() == binary_file(make(size, w, seed), w),
                      f"the {w}-bit {kind} keys at size {size} are not the model's")
            check_rows(rows, {kind: lambda n, make=make: (make(n, w, seed), w)}, seed, None,
                       velk_ts=("odd",))
            saved_rows += [r for r in counted_rows(rows) if int(r["size"]) == size]
        # The saved files read back count the same, row for row: velk_ts's targets for odd.
        listed = ",".join(f"file:{os.path.join(work, f'{kind}_uint{w}')}" for kind in KINDS)
        again = run_velk(velk, ["--keys", listed, "--searches", "300", "--seed", str(seed)])
        saved_rows.sort(key=lambda r: (list(METHODS).index(r["method"]),
                                       list(KINDS).index(r["keys"]), r["half"]))
        fields = ("method", "half", "size", "comparisons", "expected_comparisons")
        check([[r[f] for f in fields] for r in counted_rows(again)]
              == [[r[f] for f in fields] for r in saved_rows],
              f"the {w}-bit keys read back from the saved files count otherwise")
    # The lab's draws on odd keys too once they are skewed, and on the other kinds.
    kinds = ("odd", "uniform", "normal", "lognormal")
    rows = run_velk(velk, ["--keys", ",".join(kinds), "--key-bits", "64", "--sizes", "2,64,600",
                           "--searches", "300", "--seed", "9", "--skew", "1.5"])
    check_rows(rows, {k: lambda n, k=k: (KINDS[k](n, 64, 9), 64) for k in kinds}, 9, 1.5,
               velk_ts=())
    # On lognormal keys interpolation no longer lands on its target's place at once.
    interpolated = [float(r["expected_comparisons"]) for r in rows
                    if r["method"] == "interpolation" and r["keys"] == "lognormal"
                    and r["size"] == "600"]
    check(min(interpolated) > 4.0, f"interpolation on lognormal keys counts {interpolated}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--velk", required=True)
    parser.add_argument("--work", required=True)
    arguments = parser.parse_args()
    os.makedirs(arguments.work, exist_ok=True)
    try:
        check_files(arguments.velk, arguments.work)
        check_kinds(arguments.velk, arguments.work)
    except Failure as failure:
        print(f"key_sets_model: {failure}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
