#!/usr/bin/env python3
"""Diff-based mutation testing: plants realistic faults, one at a time, only in the lines of
src/ that changed since a base revision, and reports the ones no test notices.

Each mutant is built into the test program of its folder (unit_<folder>), which runs first;
only a mutant that program misses is built into everything and put to the fast suite
(ctest -LE slow). Survivors are printed with file and line. The sources are always restored,
on Ctrl-C too (the next build rebuilds what a mutant touched).

  scripts/mutate.py --base main [--max-mutants 20] [--minutes 30] [--list]
"""
import argparse
import json
import os
import random
import re
import signal
import subprocess
import sys
import time
from dataclasses import dataclass

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# (name, pattern, replacement): each match outside strings and comments is one mutant.
SWAPS = [
    ("comparison moved by one", r"(?<![<>=!-])<(?![<=])", "<="),
    ("comparison moved by one", r"<=", "<"),
    ("comparison moved by one", r"(?<![<>=-])>(?![>=])", ">="),
    ("comparison moved by one", r">=", ">"),
    ("comparison turned", r"==", "!="),
    ("comparison turned", r"!=", "=="),
    ("and/or", r"&&", "||"),
    ("and/or", r"\|\|", "&&"),
    ("flag swapped", r"\btrue\b", "false"),
    ("flag swapped", r"\bfalse\b", "true"),
    ("flag swapped", r"\bTRUE\b", "FALSE"),
    ("flag swapped", r"\bFALSE\b", "TRUE"),
    ("flag swapped", r"\bCREATE_NEW\b", "CREATE_ALWAYS"),
    ("flag swapped", r"\bCREATE_ALWAYS\b", "CREATE_NEW"),
    ("flag swapped", r"\bOPEN_EXISTING\b", "OPEN_ALWAYS"),
    ("flag swapped", r"\bOPEN_ALWAYS\b", "OPEN_EXISTING"),
    ("flag swapped", r"\bFILE_SHARE_READ\b", "0"),
    ("flag swapped", r"\bFILE_FLAG_OPEN_REPARSE_POINT\b", "0"),
    ("flag swapped", r"\bCSTR_EQUAL\b", "CSTR_LESS_THAN"),
    ("flag swapped", r"\bS_OK\b", "S_FALSE"),
]
CONSTANT = re.compile(r"(?<![\w.])(\d+)(?![\w.])")
CHECKED_CALL = re.compile(r"\b(RETURN_IF_FAILED|RETURN_IF_WIN32_BOOL_FALSE)\s*\(")
STATEMENT = re.compile(r"^\s*[\w:>.\-\[\]()]+.*;\s*$")
NOT_DROPPABLE = re.compile(r"^\s*(return|break|continue|case|default|using|typedef|namespace|template|#)\b|[{}]")
DECLARATION = re.compile(r"^\s*(?:[\w:]+(?:<[^;=]*>)?[\s*&]+)+\w+\s*(?:=|\{|;|\()")


@dataclass
class Mutant:
    path: str  # relative to the repository
    line: int  # 1-based
    kind: str
    before: str
    after: str

    def where(self):
        return f"{self.path}:{self.line}"


def run(cmd, **kw):
    return subprocess.run(cmd, cwd=kw.pop("cwd", ROOT), text=True, **kw)


def touched_lines(base, paths):
    """{file: set of line numbers} of the lines added or changed since base (work tree included)."""
    diff = run(["git", "diff", "-U0", "--no-color", base, "--"] + paths, capture_output=True, check=True).stdout
    lines, current = {}, None
    for text in diff.splitlines():
        if text.startswith("+++ "):
            name = text[4:]
            current = name[2:] if name.startswith("b/") else None
            if current and not current.endswith((".cpp", ".h")):
                current = None
        elif text.startswith("@@") and current:
            m = re.match(r"@@ -\S+ \+(\d+)(?:,(\d+))? @@", text)
            first, count = int(m.group(1)), int(m.group(2) or "1")
            lines.setdefault(current, set()).update(range(first, first + count))
    return lines


def code_mask(line):
    """The line with string and character literals and the comment blanked, same length."""
    out, i, quote = [], 0, None
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                out.append("  ")
                i += 2
                continue
            out.append(" ")
            if c == quote:
                quote = None
        elif c in "\"'":
            quote = c
            out.append(" ")
        elif line.startswith("//", i):
            out.append(" " * (len(line) - i))
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)[: len(line)]


def mutants_of_line(path, number, line, previous):
    code = code_mask(line)
    stripped = code.strip()
    if not stripped or stripped.startswith(("#", "//", "*", "/*")):
        return []
    found = []

    def at(start, end, replacement, kind):
        found.append(Mutant(path, number, kind, line, line[:start] + replacement + line[end:]))

    template = "template" in code or re.search(r"\w<[\w:, *&]+>", code)
    for kind, pattern, replacement in SWAPS:
        if template and pattern.startswith(("(?<![<>=!-])<", "(?<![<>=-])>")):
            continue  # angle brackets of templates are no comparisons
        for m in re.finditer(pattern, code):
            at(m.start(), m.end(), replacement, kind)
    for m in CONSTANT.finditer(code):
        value = int(m.group(1))
        at(m.start(), m.end(), str(value + 1), "constant +1")
        if value > 0:
            at(m.start(), m.end(), str(value - 1), "constant -1")
    for m in CHECKED_CALL.finditer(code):
        at(m.start(), m.end(), "(void)(", "call's result ignored")
    starts = code_mask(previous).rstrip().endswith((";", "{", "}")) or not previous.strip()
    if starts and STATEMENT.match(code) and not NOT_DROPPABLE.search(code) and not DECLARATION.match(code):
        found.append(Mutant(path, number, "statement dropped", line, re.match(r"\s*", line).group(0) + ";\n"))
    return found


def folder_test(path):
    parts = path.split("/")
    return f"unit_{parts[1]}" if len(parts) > 2 and parts[0] == "src" else None


def suite_programs(build):
    """The programs the fast suite runs, as ninja names them (their dependencies come along)."""
    listed = run(["ctest", "--test-dir", build, "-LE", "slow", "-N", "--show-only=json-v1"],
                 capture_output=True, check=True).stdout
    programs = set()
    for test in json.loads(listed)["tests"]:
        for arg in test.get("command", []):
            if arg.startswith(build + os.sep) and arg.endswith(".exe"):
                programs.add(os.path.relpath(arg, build))
    return sorted(programs)


class Restorer:
    """Keeps the original text of every file it changes and writes it back on leaving."""

    def __init__(self):
        self.saved = {}

    def plant(self, mutant):
        full = os.path.join(ROOT, mutant.path)
        with open(full, encoding="utf-8", newline="") as f:
            lines = f.readlines()
        self.saved.setdefault(full, "".join(lines))
        lines[mutant.line - 1] = mutant.after
        with open(full, "w", encoding="utf-8", newline="") as f:
            f.write("".join(lines))

    def restore(self):
        for full, text in self.saved.items():
            with open(full, "w", encoding="utf-8", newline="") as f:
                f.write(text)
        self.saved.clear()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--base", required=True, help="revision the change is measured from")
    parser.add_argument("--build", default=os.path.join(ROOT, "build"), help="configured build folder")
    parser.add_argument("--max-mutants", type=int, default=20)
    parser.add_argument("--minutes", type=float, default=30)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--jobs", default="2", help="ninja -j")
    parser.add_argument("--list", action="store_true", help="only list the mutants that would be planted")
    parser.add_argument("paths", nargs="*", default=["src"], help="where mutants may be planted (src/)")
    args = parser.parse_args()

    candidates = []
    for path, numbers in sorted(touched_lines(args.base, args.paths).items()):
        with open(os.path.join(ROOT, path), encoding="utf-8", newline="") as f:
            text = f.readlines()
        for number in sorted(numbers):
            if number <= len(text):
                previous = text[number - 2] if number > 1 else ""
                candidates.append(mutants_of_line(path, number, text[number - 1], previous))
    # One mutant of each line before a second of any: a few dozen lines all get their turn.
    rng = random.Random(args.seed)
    for group in candidates:
        rng.shuffle(group)
    chosen = []
    while len(chosen) < args.max_mutants and any(candidates):
        for group in candidates:
            if group and len(chosen) < args.max_mutants:
                chosen.append(group.pop())
    total = sum(len(g) for g in candidates) + len(chosen)
    print(f"mutate: {total} mutants in the changed lines since {args.base}; planting {len(chosen)}", flush=True)
    if args.list:
        for m in chosen:
            print(f"  {m.where()}: {m.kind}: {m.before.strip()}  =>  {m.after.strip()}")
        return 0

    env = dict(os.environ, WINEDEBUG="-all")
    env.pop("DISPLAY", None)
    ctest = ["ctest", "--test-dir", args.build, "--timeout", "300", "-FA", "wine"]
    restorer = Restorer()
    suite = suite_programs(os.path.abspath(args.build))

    def interrupted(signum, _frame):
        restorer.restore()
        print(f"\nmutate: stopped by signal {signum}; sources restored", flush=True)
        sys.exit(130)

    signal.signal(signal.SIGINT, interrupted)
    signal.signal(signal.SIGTERM, interrupted)
    deadline = time.monotonic() + args.minutes * 60
    outcomes = {"killed": 0, "survived": 0, "stillborn": 0}
    survivors = []
    run(ctest[:3] + ["-R", "^wine_bench_start$"], env=env, capture_output=True)
    try:
        for index, m in enumerate(chosen, 1):
            if time.monotonic() > deadline:
                print(f"mutate: --minutes reached after {index - 1} mutants", flush=True)
                break
            label = f"[{index}/{len(chosen)}] {m.where()} {m.kind}: {m.before.strip()}  =>  {m.after.strip()}"
            restorer.plant(m)
            try:
                target = folder_test(m.path)
                stages = ([(target, ["-R", f"^{target}$"])] if target else []) + [("fast suite", ["-LE", "slow"])]
                verdict = "survived"
                for name, selection in stages:
                    build = [target] if name == target else suite
                    built = run(["ninja", "-C", args.build, f"-j{args.jobs}"] + build, capture_output=True)
                    if built.returncode != 0:
                        verdict = "stillborn"
                        break
                    tested = run(ctest + selection, env=env, capture_output=True)
                    if tested.returncode != 0:
                        verdict = f"killed by {name}"
                        break
            finally:
                restorer.restore()
            outcomes[verdict.split()[0]] += 1
            print(f"{label}  ->  {verdict}", flush=True)
            if verdict == "survived":
                survivors.append(m)
    finally:
        restorer.restore()
        run(ctest[:3] + ["-R", "^wine_bench_stop$"], env=env, capture_output=True)
    print(f"mutate: {outcomes['killed']} killed, {outcomes['survived']} survived, "
          f"{outcomes['stillborn']} did not compile")
    for m in survivors:
        print(f"SURVIVOR {m.where()}: {m.kind}\n  - {m.before.strip()}\n  + {m.after.strip()}")
    return 1 if survivors else 0


if __name__ == "__main__":
    sys.exit(main())
