#!/usr/bin/env python3
"""Fills the generated parts of the user's manual, docs/manual.md.

The manual's prose is written by hand; its tables and the numbers it quotes
come from the code and from measurements, between marker comments:

    <!-- generated: NAME -->...<!-- end generated -->
        tables and numbers from the built plug-in (tarvo-manual-facts) and
        from BENCHMARKS.md; rewritten on every run and compared by --check:
        their text exactly, their numbers within NUMBER_TOLERANCE (below).
    <!-- measured: NAME -->...<!-- end measured -->
        numbers measured while the pictures are rendered (corner
        frequencies, limiter overshoot, aliasing); rewritten with
        --pictures only, and not compared, since they come from floating-
        point measurements of rendered audio.

    manual.py --facts F --plugin P --render R             rewrite the tables
    manual.py --facts F --plugin P --render R --pictures  also the pictures
    manual.py --facts F --plugin P --render R --check     compare only

Usually run through CMake: `cmake --build build --target manual` (or
`manual-tables`); the check is the ctest test manual_tables_match_the_code.
"""

import argparse
import difflib
import json
import re
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
MANUAL = ROOT / "docs" / "manual.md"
BENCHMARKS = ROOT / "BENCHMARKS.md"
REGENERATE = "cmake --build build --target manual-tables"

MARKER = re.compile(
    r"<!-- (generated|measured): ([a-z0-9-]+) -->(.*?)<!-- end (generated|measured) -->", re.S)

# What each channel mode does, by the option text the host shows. The
# generator refuses to run when the plug-in's options and these differ.
MODE_NOTES = {
    "Mono-L": ("left", "left only", "the left result on both outputs"),
    "2 Mono": ("left and right, each on its own", "left and right, unlinked",
               "left from left, right from right"),
    "R-S.chn": ("right", "left only", "the left result on both outputs"),
    "Mid.": ("mid (L+R)/2", "mid; side passes (delayed)", "mid and side back to left and right"),
    "Side": ("side (L−R)/2", "side; mid passes (delayed)", "mid and side back to left and right"),
    "M/S": ("mid and side, linked by the louder", "mid and side",
            "mid and side back to left and right, each through the saturation"),
    "Stereo": ("left and right, linked by their average", "left and right",
               "left from left, right from right"),
}

# What each factory program is meant for, by its name.
PROGRAM_PURPOSES = {
    "Default": "a general starting point for a stereo track: moderate ratio, hard knee, "
               "medium attack and release",
    "kick": "a kick drum track (mono): heavy, hard-kneed compression with a slightly "
            "slow attack that lets the beater through",
    "snare": "a snare track (mono): hard knee, medium ratio and generous make-up, "
             "with the limiter catching the loudest hits",
    "overheads": "a stereo overhead pair: linked stereo compression that keeps the image",
    "room": "room microphones: soft knee, the fastest attack and release to bring up "
            "the ambience, each side on its own",
    "DRUM BUSS": "a stereo drum group: moderate, linked compression of the whole "
                 "kit with the limiter catching peaks (the program tarvo-render's demo "
                 "uses)",
    "bass": "a bass track (mono): high ratio, soft-ish knee, fast attack and long "
            "release, key high-passed so the lowest notes do not pump",
    "vocal (ins.1)": "a lead vocal (mono): low threshold, gentle ratio, soft knee and "
                     "plenty of make-up: even, upfront level",
    "vocal (ins.2)": "a second vocal stage (mono): an infinite-ratio levelling with soft "
                     "knee, after \"vocal (ins.1)\"",
    "back vocal": "backing vocals (mono): soft, moderate compression that tucks them in",
    "funky dbl.guitars": "double-tracked rhythm guitars, one per side: fast, hard, "
                         "each side on its own",
    "solo guitar": "a lead guitar (mono): firm compression for sustain, with no "
                   "high-pass on the key",
    "acoustic guitar": "an acoustic guitar (mono): fast, gentle, soft-kneed levelling",
    "keyboards": "keyboards in stereo, each side compressed on its own: moderate "
                 "compression with make-up",
    "Mix BUSS": "the stereo mix bus: low ratio, soft knee and no high-pass on the "
                "key, for gentle glue",
    "premaster": "the last stage before mastering: the lowest ratio with the input "
                 "raised, saturation on and the limiter after the dry/wet mix",
}


def code(text):
    """A display text as the host shows it, in a code span."""
    return f"`{text}`" if text else ""


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |",
             "|" + "|".join("---" for _ in header) + "|"]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    return "\n".join(lines)


def parameter_name(facts, index):
    """Names the host shows twice ("Limiter") get their number."""
    name = facts["parameters"][index]["name"]
    twice = sum(p["name"] == name for p in facts["parameters"]) > 1
    return f"{name} ({index})" if twice else name


def parameters_table(facts):
    rows = []
    for p in facts["parameters"]:
        if p["options"]:
            shown = ", ".join(code(o) for o in p["options"])
        else:
            shown = f"{code(p['atMinimum'])} … {code(p['atMaximum'])}"
        rows.append([str(p["index"]), code(p["name"]), shown, code(p["label"]),
                     code(p["default"])])
    return table(["#", "Name", "Range or choices", "Label", "\"Default\""], rows)


def ar_time_table(facts):
    rows = [[code(r["option"]), f"{code(r['attack'][0])} … {code(r['attack'][1])}",
             f"{code(r['release'][0])} … {code(r['release'][1])}"] for r in facts["arTime"]]
    return table(["\"A,R Time\"", "Attack (ms)", "Release (ms)"], rows)


def modes_table(facts):
    mode = next(p for p in facts["parameters"] if p["name"] == "Mode")
    if list(MODE_NOTES) != mode["options"]:
        raise SystemExit(f"manual.py: the plug-in's modes {mode['options']} differ from "
                         f"those the manual describes {list(MODE_NOTES)}")
    rows = [[code(name), *MODE_NOTES[name]] for name in mode["options"]]
    return table(["\"Mode\"", "The compressor listens to", "It processes", "Outputs"], rows)


def varying_columns(facts):
    """Parameter numbers whose display differs between programs, and the rest."""
    shown = [p["display"] for p in facts["programs"]]
    varying = [i for i in range(len(facts["parameters"]))
               if len({row[i] for row in shown}) > 1]
    constant = [i for i in range(len(facts["parameters"])) if i not in varying]
    return varying, constant


def programs_table(facts):
    varying, constant = varying_columns(facts)
    header = ["#", "Program"] + [parameter_name(facts, i) for i in varying]
    rows = [[str(p["index"]), p["name"]] + [code(p["display"][i]) for i in varying]
            for p in facts["programs"]]
    first = facts["programs"][0]["display"]
    same = ", ".join(f"{parameter_name(facts, i)} {code(first[i])}" for i in constant)
    return table(header, rows) + f"\n\nIn every factory program: {same}."


def program_purposes(facts):
    names = [p["name"] for p in facts["programs"]]
    if names != list(PROGRAM_PURPOSES):
        raise SystemExit(f"manual.py: the plug-in's programs {names} differ from those "
                         f"the manual describes {list(PROGRAM_PURPOSES)}")
    return "\n".join(f"- **{p['index']} \"{p['name']}\"**: {PROGRAM_PURPOSES[p['name']]}."
                     for p in facts["programs"])


def upsampling_by_rate_table(facts):
    rates = facts["upsamplingByRate"]
    names = [p["name"] for p in facts["programs"]]
    groups = {}
    for n, name in enumerate(names):
        key = tuple(r["upsampling"][n] for r in rates)
        groups.setdefault(key, []).append(f"\"{name}\"")
    header = ["Programs"] + [f"{r['rate'] / 1000:g} kHz" for r in rates]
    rows = [[", ".join(group)] + [code(shown) for shown in key] for key, group in groups.items()]
    return table(header, rows)


def latency_samples(facts, upsampling, path):
    return next(r["samples"] for r in facts["latency"]
                if r["upsampling"] == upsampling and r["path"] == path)


def latency_table(facts):
    factors = []
    for r in facts["latency"]:
        if r["upsampling"] not in factors:
            factors.append(r["upsampling"])
    rows = []
    for f in factors:
        cells = [code(f)]
        for path in ("Fast", "HQ"):
            n = latency_samples(facts, f, path)
            cells.append(f"{n} samples ({n / 44.1:.2f} ms at 44.1 kHz, {n / 48:.2f} ms at 48 kHz)")
        rows.append(cells)
    return table(["\"Upsampl.\"", "\"Fast\"", "\"HQ\""], rows)


def benchmark_rows(text, heading):
    """The rows of the first table after a heading of BENCHMARKS.md."""
    start = text.find(heading)
    if start < 0:
        raise SystemExit(f"manual.py: BENCHMARKS.md has no section {heading!r}")
    rows = []
    for line in text[start:].splitlines()[1:]:
        if line.startswith("|"):
            rows.append([cell.strip() for cell in line.strip("|").split("|")])
        elif rows:
            break
    return rows[2:]


def cpu_table(benchmarks):
    on_signal = benchmark_rows(benchmarks, "### Tarvo on signal")
    ns = {(r[0], r[1]): float(r[2]) for r in on_signal}
    rows = []
    for factor in ("1x", "2x", "4x", "8x"):
        cells = [code(factor)]
        for path in ("Fast", "HQ"):
            case = f"{factor} {path} Stereo Pre"
            if (case, "float") not in ns:
                raise SystemExit(f"manual.py: BENCHMARKS.md's \"Tarvo on signal\" table "
                                 f"has no row {case!r} in float")
            t = ns[(case, "float")]
            cells.append(f"{t:.0f} ns, {t * 44100 / 1e7:.2f} %")
        rows.append(cells)
    machine = next(line for line in benchmarks.splitlines() if line.startswith("- Machine:"))
    engine = next((line for line in benchmarks.splitlines() if line.startswith("- Engine:")),
                  None)
    build = f", {engine[len('- Engine: '):].split(' build')[0]} build of the engine" if engine else ""
    date = next(line for line in benchmarks.splitlines() if line.startswith("- Date:"))
    silence = benchmark_rows(benchmarks, "### Silence (default program)")
    zeros = next(r for r in silence if r[0] == "exact zeros" and r[1] == "float")
    programs = [(r[0], float(r[2])) for r in on_signal
                if r[0].startswith("program ") and r[1] == "float"]
    cheapest = min(programs, key=lambda p: p[1])
    dearest = max(programs, key=lambda p: p[1])
    return (table(["\"Upsampl.\"", "\"Fast\": time per stereo frame, share of one core",
                   "\"HQ\": time per stereo frame, share of one core"], rows) +
            f"\n\nMode \"Stereo\", limiter \"Pre\", at 44.1 kHz; the share is of one core "
            f"running in real time. The factory programs range from "
            f"{cheapest[1] * 44100 / 1e7:.2f} % ({cheapest[0]}) to "
            f"{dearest[1] * 44100 / 1e7:.2f} % ({dearest[0]}). Exact digital silence costs "
            f"{float(zeros[6]):.2f} times as much as signal. Measured by "
            f"`tarvo-bench` ({machine[len('- Machine: '):]}{build}; "
            f"{date[len('- Date: '):]}); see [BENCHMARKS.md](../BENCHMARKS.md).")


def stored_default_example(facts):
    """A shell command that stores the factory "Default" with "Mode" at
    "2 Mono" as the user's default program."""
    mode = next(p for p in facts["parameters"] if p["name"] == "Mode")
    choice = mode["options"].index("2 Mono")
    positions = [f"{x:.6g}" for x in facts["programs"][0]["positions"]]
    positions[mode["index"]] = f"{choice}/{len(mode['options']) - 1}"
    lines, line = [], " "
    for position in positions:
        if len(line) + len(position) > 76:
            lines.append(line.rstrip())
            line = " "
        line += f" {position},"
    lines.append(line.rstrip(","))
    body = "\n".join(lines)
    return ("```sh\nmkdir -p ~/.config/orlenaudio/Tarvo\n"
            f"python3 -c \"import struct, sys; sys.stdout.buffer.write(struct.pack("
            f"'<{len(positions)}f',\n{body}))\" > ~/.config/orlenaudio/Tarvo/Default\n```")


def value_mismatches(facts):
    """Where a display names another value than the one the engine runs. The
    ratio's many places (shows a tenth, runs the one below) make one row."""
    rows, tenths = [], []
    for m in facts["valueMismatches"]:
        try:
            below = round(float(m["shows"]) - float(m["runs"]), 9) == 0.1
        except ValueError:
            below = False
        if below and m["name"] == "Ratio":
            tenths.append(m)
        else:
            rows.append([code(m["name"]), code(m["shows"]), code(m["runs"]),
                         f"{m['from']:.4g} to {m['to']:.4g}"])
    if tenths:
        first, last = tenths[0], tenths[-1]
        rows.insert(0, [code("Ratio"),
                        f"{code(first['shows'])} … {code(last['shows'])}, "
                        f"each tenth ({len(tenths)} places)",
                        "the tenth below",
                        f"{first['from']:.4g} to {first['to']:.4g}, … "
                        f"{last['from']:.4g} to {last['to']:.4g}"])
    programs = [f"\"{m['program']}\" {m['name']} {code(m['shows'])} runs {code(m['runs'])}"
                for m in facts["programMismatches"]]
    listed = table(["Parameter", "Shows", "Runs", "Values"], rows)
    if programs:
        listed += ("\n\nFactory programs at such places: " + ", ".join(programs) + ".")
    return listed


def generated_blocks(facts, benchmarks):
    fast = {latency_samples(facts, r["upsampling"], "Fast") for r in facts["latency"]}
    hq = {latency_samples(facts, r["upsampling"], "HQ") for r in facts["latency"]} - fast
    return {
        "parameters": parameters_table(facts),
        "ar-time": ar_time_table(facts),
        "modes": modes_table(facts),
        "programs": programs_table(facts),
        "program-purposes": program_purposes(facts),
        "upsampling-by-rate": upsampling_by_rate_table(facts),
        "latency": latency_table(facts),
        "latency-fast": " or ".join(str(n) for n in sorted(fast)),
        "latency-hq": " or ".join(str(n) for n in sorted(hq)),
        "cpu": cpu_table(benchmarks),
        "stored-default-example": stored_default_example(facts),
        "value-mismatches": value_mismatches(facts),
        "identity": (f"\"{facts['name']}\" by \"{facts['vendor']}\", version "
                     f"{facts['version']}, {facts['inputs']} inputs and {facts['outputs']} "
                     f"outputs, {len(facts['parameters'])} parameters, "
                     f"{len(facts['programs'])} programs"),
    }


# How far a number in a generated block may lie from the committed one and
# still match: by at most one unit in its last printed digit (of the more
# precise of the two figures) and by at most this share of its size. A
# figure computed in floating point can round the other way on another
# machine ("109.5" for "109.4", a position's sixth digit), but a short figure
# ("4.0", "172") or a real change moves further. Everything that is not a
# number compares character for character.
NUMBER_TOLERANCE = 1e-3
NUMBER = re.compile(r"([-+]?\d+(?:\.\d+)?)")


def last_digit_unit(figure):
    """The value of one unit in a figure's last digit: 0.01 for "-3.25"."""
    decimals = len(figure.partition(".")[2])
    return 10.0 ** -decimals


def numbers_match(committed, generated):
    a, b = float(committed), float(generated)
    difference = abs(a - b)
    unit = min(last_digit_unit(committed), last_digit_unit(generated))
    return difference <= unit * (1 + 1e-9) and difference <= NUMBER_TOLERANCE * max(abs(a), abs(b))


def block_matches(committed, generated):
    """Texts equal, numbers within NUMBER_TOLERANCE."""
    ours, theirs = NUMBER.split(committed), NUMBER.split(generated)
    if len(ours) != len(theirs):
        return False
    # re.split with one group alternates text (even places) and numbers (odd).
    return all(a == b if k % 2 == 0 else numbers_match(a, b)
               for k, (a, b) in enumerate(zip(ours, theirs)))


def differing_blocks(committed, generated):
    """Names of the generated blocks whose committed content does not match."""
    def blocks(text):
        return [(m.group(2), m.group(3)) for m in MARKER.finditer(text)
                if m.group(1) == "generated"]
    return [name for (name, ours), (_, theirs) in zip(blocks(committed), blocks(generated))
            if not block_matches(ours, theirs)]


def fill(text, blocks, kind):
    """Replaces the content of every marker of one kind; checks the names."""
    seen = set()

    def replace(match):
        opening, name, body, closing = match.groups()
        if opening != closing:
            raise SystemExit(f"manual.py: marker {name} opens as {opening}, closes as {closing}")
        if opening != kind:
            return match.group(0)
        if name not in blocks:
            raise SystemExit(f"manual.py: the manual has a {kind} block {name!r} "
                             f"that the generator does not make")
        seen.add(name)
        content = blocks[name]
        # Blocks standing on lines of their own stay so; inline ones stay inline.
        if body.startswith("\n"):
            content = f"\n{content}\n"
        return f"<!-- {kind}: {name} -->{content}<!-- end {kind} -->"

    text = MARKER.sub(replace, text)
    missing = set(blocks) - seen
    if missing:
        raise SystemExit(f"manual.py: the manual lacks {kind} blocks {sorted(missing)}")
    return text


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--facts", required=True, help="the tarvo-manual-facts program")
    parser.add_argument("--plugin", required=True, help="the built Tarvo plug-in library")
    parser.add_argument("--render", required=True, help="the tarvo-render program")
    action = parser.add_mutually_exclusive_group()
    action.add_argument("--check", action="store_true",
                        help="compare the generated tables with the manual, change nothing")
    action.add_argument("--pictures", action="store_true",
                        help="also render docs/img/*.png and the measured numbers")
    args = parser.parse_args()

    facts = json.loads(subprocess.run([args.facts, args.plugin], check=True,
                                      capture_output=True, text=True).stdout)
    committed = MANUAL.read_text(encoding="utf-8")
    text = fill(committed, generated_blocks(facts, BENCHMARKS.read_text(encoding="utf-8")),
                "generated")

    if args.check:
        if text != committed:
            sys.stdout.writelines(difflib.unified_diff(
                committed.splitlines(True), text.splitlines(True),
                "docs/manual.md (committed)", "docs/manual.md (from the code)"))
            differing = differing_blocks(committed, text)
            if differing:
                print(f"\ndocs/manual.md's generated blocks {', '.join(differing)} differ "
                      f"from the code; regenerate them with `{REGENERATE}` and commit the "
                      f"result.")
                return 1
            print("\nthe numbers above differ by no more than a rounding "
                  f"(one unit in the last digit, at most {NUMBER_TOLERANCE:.1%} of the value)")
        print("docs/manual.md: generated tables match the code")
        return 0

    if args.pictures:
        import pictures  # matplotlib, numpy and scipy are needed for pictures only
        measured = pictures.render_all(args.render, ROOT / "docs" / "img")
        text = fill(text, measured, "measured")
    MANUAL.write_text(text, encoding="utf-8")
    print(f"wrote {MANUAL.relative_to(ROOT)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
