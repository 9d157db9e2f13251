#!/usr/bin/env python3
"""Measures what the tests catch: applies a seeded sample of small faults to src/,
rebuilds incrementally, runs the tests that cover the faulty file and prints the
share of faults that some test noticed.

  scripts/mutate.py [--count 60] [--seed 19] [--build-dir build/mutate] [--list]
                    [--results FILE.tsv [--resume]] [--only-killed FILE.tsv]

Operators: flip a comparison, shift an integer constant by one, drop a statement,
swap the two arguments of a call. A fault that does not compile is drawn again and
does not count. Every file is restored after its fault, also on Ctrl-C or SIGTERM. Faults are
ranked by a hash of their seed, file, line text and change, so an edit elsewhere in
src/ leaves the rest of the sample as it was and scores stay comparable.

Each fault's tests get max(20 s, 4x) the time the same filter takes on the unmodified
build (measured once per filter). --results writes one line per fault (id, file,
line, change, outcome, reason); --only-killed re-checks just the faults a previous
results file marks killed: when only tests were removed since, a survivor cannot
have become killed, so the rest of the score carries over.
"""

import argparse
import csv
import hashlib
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent

FLIPS = {"<": ">=", ">": "<=", "<=": ">", ">=": "<", "==": "!=", "!=": "=="}
COMPARISON = re.compile(r"(?<=[\w)\]] )(<=|>=|==|!=|<|>)(?= [\w(\-!])")
CONSTANT = re.compile(r"(?<![\w.])(\d+)(?![\w.'])")
STATEMENT = re.compile(r"^(\s*)((?:[A-Za-z_][\w:]*(?:\.|->|::))*[A-Za-z_]\w*\s*"
                       r"(?:\(.*\)|[+\-*/|&]?=[^=].*));\s*$")
TWO_ARGS = re.compile(r"\b([A-Za-z_]\w*)\(([^(),]+), ([^(),]+)\)")


def strip_comment(line):
    return line.split("//", 1)[0]


def candidates(path):
    """Every fault one line of `path` can take, as (line index, description, new line)."""
    lines = path.read_text().splitlines(keepends=True)
    in_block = False
    for i, line in enumerate(lines):
        code = strip_comment(line)
        if in_block or code.lstrip().startswith(("/*", "*")):
            in_block = "*/" not in code
            continue
        stripped = code.strip()
        if not stripped or stripped.startswith(("#", "static_assert", "case ", "template")) or '"' in code:
            continue
        for m in COMPARISON.finditer(code):
            new = code[:m.start()] + FLIPS[m.group(1)] + code[m.end():]
            yield i, f"{m.group(1)} -> {FLIPS[m.group(1)]}", new + line[len(code):]
        for m in CONSTANT.finditer(code):
            value = int(m.group(1))
            new = code[:m.start()] + str(value + 1) + code[m.end():]
            yield i, f"{value} -> {value + 1}", new + line[len(code):]
        m = STATEMENT.match(code.rstrip("\n"))
        if m and not stripped.startswith(("return", "auto ", "const ")):
            yield i, "drop statement", m.group(1) + ";\n"
        for m in TWO_ARGS.finditer(code):
            a, b = m.group(2).strip(), m.group(3).strip()
            if a != b:
                new = code[:m.start()] + f"{m.group(1)}({b}, {a})" + code[m.end():]
                yield i, f"swap arguments of {m.group(1)}", new + line[len(code):]


def covering_filter(source):
    """A gtest filter of the suites in test files that name the unit's header or stem."""
    stem = source.stem
    suites = set()
    for test in (ROOT / "tests").rglob("*.cpp"):
        text = test.read_text(errors="replace")
        if stem in text:
            suites.update(re.findall(r"^TEST(?:_F|_P)?\((\w+),", text, re.M))
    return ":".join(sorted(f"{s}.*" for s in suites)) or "*"


def run(cmd, timeout=None):
    try:
        return subprocess.run(cmd, cwd=ROOT, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return "timeout"


def read_results(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f, delimiter="\t"))


def read_killed(path):
    return {row["id"] for row in read_results(path) if row["outcome"] == "killed"}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--count", type=int, default=60, help="faults that compile (default 60)")
    parser.add_argument("--seed", type=int, default=19)
    parser.add_argument("--build-dir", default="build/mutate")
    parser.add_argument("--min-timeout", type=int, default=20,
                        help="least seconds for one fault's tests (otherwise 4x the clean run)")
    parser.add_argument("--results", help="write one TSV line per fault to this file")
    parser.add_argument("--only-killed", metavar="FILE",
                        help="run only the faults this earlier results file marks killed")
    parser.add_argument("--resume", action="store_true",
                        help="go on with the --results file of an interrupted run, keeping its lines")
    parser.add_argument("--list", action="store_true", help="print the sample without running it")
    args = parser.parse_args()
    # SIGTERM unwinds like Ctrl-C, so the file under test is restored.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))

    # Each fault is ranked by a hash of its seed, file, line text and change, so an
    # edit elsewhere in src/ leaves the rest of the sample as it was.
    ranked = []
    for src in sorted((ROOT / "src").rglob("*.cpp")):
        lines = src.read_text().splitlines()
        for i, what, new in candidates(src):
            key = f"{args.seed}:{src.relative_to(ROOT)}:{lines[i].strip()}:{what}"
            ranked.append((hashlib.sha256(key.encode()).hexdigest(), src, i, what, new))
    pool = sorted(ranked)
    print(f"{len(pool)} possible faults in src/; sampling {args.count} that compile (seed {args.seed})")
    if args.list:
        for _, src, i, what, _ in pool[:args.count]:
            print(f"{src.relative_to(ROOT)}:{i + 1}: {what}")
        return 0

    build = args.build_dir
    if run(["cmake", "-S", ".", "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
            "-DSONORIX_BUILD_TESTS=ON", "-DSONORIX_REQUIRE_CODECS=ON", "-DSONORIX_BUILD_BENCH=OFF"]) != 0 \
            or run(["cmake", "--build", build]) != 0:
        print("the unmodified tree does not build", file=sys.stderr)
        return 1
    tests = str(ROOT / build / "bin" / "SonorixTests")

    wanted = read_killed(args.only_killed) if args.only_killed else None
    done = {}
    if args.resume and args.results and Path(args.results).exists():
        done = {row["id"]: row for row in read_results(args.results)}
    out = open(args.results, "a" if done else "w", newline="") if args.results else None
    if out and not done:
        print("id\tfile\tline\tchange\toutcome\treason", file=out, flush=True)
    budgets = {}  # gtest filter -> seconds allowed, from one clean run

    def budget(flt):
        if flt not in budgets:
            t0 = time.time()
            run([tests, f"--gtest_filter={flt}", "--gtest_brief=1"])
            budgets[flt] = max(args.min_timeout, 4 * (time.time() - t0))
        return budgets[flt]

    killed, survived, stillborn = 0, [], 0
    twins = {}
    started = time.time()
    for fid, src, i, what, new in pool:
        if killed + len(survived) == args.count or (wanted is not None and not wanted):
            break
        # Two faults of one line can share a key (the same change at two
        # places of the line): the later ones get a suffix, in rank order.
        fid = fid[:12]
        twins[fid] = twins.get(fid, -1) + 1
        fid += f"-{twins[fid]}" if twins[fid] else ""
        if wanted is not None:
            if fid not in wanted:
                continue
            wanted.discard(fid)
        if fid in done:
            where = f"{src.relative_to(ROOT)}:{i + 1}: {what}"
            if done[fid]["outcome"] == "killed":
                killed += 1
            else:
                survived.append(where)
            continue
        flt = covering_filter(src)
        limit = budget(flt)
        original = src.read_text()
        lines = original.splitlines(keepends=True)
        lines[i] = new
        try:
            src.write_text("".join(lines))
            if run(["cmake", "--build", build]) != 0:
                stillborn += 1
                continue
            result = run([tests, f"--gtest_filter={flt}", "--gtest_brief=1"], limit)
        finally:
            src.write_text(original)
        where = f"{src.relative_to(ROOT)}:{i + 1}: {what}"
        reason = "" if result == 0 else f"timeout {limit:.0f} s" if result == "timeout" else "tests failed"
        if result == 0:
            survived.append(where)
            print(f"SURVIVED {where}", flush=True)
        else:
            killed += 1
            print(f"killed   {where} ({reason})", flush=True)
        if out:
            print(f"{fid}\t{src.relative_to(ROOT)}\t{i + 1}\t{what}\t"
                  f"{'survived' if result == 0 else 'killed'}\t{reason}", file=out, flush=True)
    run(["cmake", "--build", build])
    if wanted:
        print(f"{len(wanted)} faults of {args.only_killed} are no longer in the sample: {sorted(wanted)}")

    total = killed + len(survived)
    print(f"\n{killed} of {total} faults killed ({100 * killed / max(total, 1):.0f}%), "
          f"{stillborn} did not compile, {time.time() - started:.0f} s")
    for where in survived:
        print(f"  survived: {where}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
