#!/usr/bin/env python3
"""The benchmarks' results: read, compared and drawn (scripts/bench runs it).

A suite's runner leaves its results in a suite file, a JSON document:

    {"suite": "value",
     "tables": [{"id": "dict", "title": "...", "project": "collection",
                 "peers": ["nlohmann", "jsoncpp"], "plot": true}, ...],
     "records": [{"table": "dict", "case": "insert", "library": "collection",
                  "n": 1000, "unit": "ns/op", "value": 95.2}, ...]}

A record whose value is null carries an "error" instead. Two converters make
suite files:

  gbench  from Google Benchmark's JSON output, for benchmarks named
          "<table>/<case>/<library>/<n>" that carry the counter "ops"
          (operations per iteration; the figure is CPU time per operation) or the
          memory counters listed in MEMORY_COUNTERS; the figure of a name is
          the median of its runs in all the files given;
  lines   from lines of text, one per figure, for runners that are not
          Google Benchmark (a script under Wine, say):

              BENCH table=script case=add library=XCollection n=1000 ops=1000 seconds=0.0123
              BENCH table=calls case=add library=vtable n=100000 unit=calls/s value=2.5e7
              BENCH table=parse case=canada.json library=json2.js n=2251051 unit=ns/op error=stopped_after_60_s

          Values hold no spaces; an underscore in a case or library name,
          or in an error's text, stands for one. A line with an error gives
          no figure; the table shows its text instead. With seconds and ops the figure is nanoseconds per
          operation; otherwise unit and value give it as it is. Other lines
          are ignored. A figure given more than once (by several runs) is
          the median of its lines.

  csv     from a results.csv that render wrote (the records of one suite),
          so that stored results can be rendered again without running
          anything.

Each converter takes the tables' descriptions as --table
"id|title|project|peer,peer[|option]...", the options being

  plot          draw the table's cases (see render)
  figure=TEXT   what a figure is ("CPU time per operation, median of five
                runs"); the table's heading says it
  axis=TEXT     the y axis's label of its plots (default "ns per operation")
  note=TEXT     a sentence printed under the heading
  alone=CASE    CASE is measured with no library at all (a bare loop, say):
                its figure stands in the project's column of the table and
                its plot's line is labelled with the case, not the project

  render  reads suite files and writes, into --out: one table per table
          description (printed, and in tables.md), every record in
          results.json and results.csv, and for each table marked "plot" one
          PNG per case of time per operation against n on log-log axes, one
          line per library (gnuplot).

  guide   writes a suite's tables (a tables.md that render wrote) and its
          plots into a guide, in place of what stands between the guide's
          two marker lines of that suite:

              <!-- scripts/bench: the value suite's tables and plots begin -->
              <!-- scripts/bench: the value suite's tables and plots end -->

Ratios are project / peer: below 1 the project needs less; for rates (units
per second) above 1 the project does more.
"""

import argparse
import csv
import json
import math
import os
import re
import shutil
import subprocess
import sys
from collections import OrderedDict

TIME_UNIT = "ns/op"
NANOSECONDS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}

# Google Benchmark counters of the memory benchmarks: counter -> (case, unit).
MEMORY_COUNTERS = OrderedDict([
    ("heap_bytes_per_entry", ("memory: peak heap", "B/entry")),
    ("heap_chunk_bytes_per_entry", ("memory: peak heap in glibc chunks", "B/entry")),
    ("native_bytes_per_entry", ("memory: of it, native allocator", "B/entry")),
    ("new_bytes_per_entry", ("memory: of it, operator new", "B/entry")),
    ("blocks_per_entry", ("memory: blocks kept", "blocks/entry")),
])


def parse_table(text):
    parts = text.split("|")
    if len(parts) < 4:
        raise SystemExit("report: a table is 'id|title|project|peer,peer[|option]...', not %r" % text)
    table = {"id": parts[0], "title": parts[1], "project": parts[2],
             "peers": [p for p in parts[3].split(",") if p], "plot": False}
    for option in parts[4:]:
        name, _, value = option.partition("=")
        if option == "plot":
            table["plot"] = True
        elif name in ("figure", "axis", "note") and value:
            table[name] = value
        elif name == "alone" and value:
            table.setdefault("alone", []).append(value)
        else:
            raise SystemExit("report: unknown table option %r in %r" % (option, text))
    return table


def write_json(path, document):
    with open(path, "w") as f:
        json.dump(document, f, indent=1)
        f.write("\n")


# --- Converters ---------------------------------------------------------------

def median(values):
    ordered = sorted(values)
    middle = len(ordered) // 2
    return ordered[middle] if len(ordered) % 2 else (ordered[middle - 1] + ordered[middle]) / 2


def gbench_records(documents):
    """Records of Google Benchmark JSON documents: the median of every run of
    a name in any of them (a "median" aggregate counts as one run)."""
    runs = OrderedDict()
    for document in documents:
        for bench in document.get("benchmarks", []):
            aggregate = bench.get("aggregate_name")
            if aggregate is not None and aggregate != "median":
                continue
            runs.setdefault(bench.get("run_name", bench["name"]), []).append(bench)

    records = []
    for name, chosen in runs.items():
        parts = name.split("/")
        if len(parts) < 4 or not parts[3].isdigit():
            raise SystemExit("report: benchmark %r is not named <table>/<case>/<library>/<n>" % name)
        table, case, library, n = parts[0], parts[1], parts[2], int(parts[3])
        failed = [b for b in chosen if b.get("error_occurred")]
        base = {"table": table, "library": library, "n": n}
        if failed:
            records.append(dict(base, case=case, unit=TIME_UNIT, value=None,
                                error=failed[0].get("error_message", "failed")))
            continue
        if "ops" in chosen[0]:
            ns = [b["cpu_time"] * NANOSECONDS[b.get("time_unit", "ns")] / b["ops"] for b in chosen]
            records.append(dict(base, case=case, unit=TIME_UNIT, value=median(ns), runs=len(ns)))
        for counter, (label, unit) in MEMORY_COUNTERS.items():
            if counter in chosen[0]:
                records.append(dict(base, case=label, unit=unit, value=median(b[counter] for b in chosen)))
    return records


def line_records(streams):
    """Records of BENCH lines: the median of every figure's lines, in the
    order the figures were first met."""
    runs = OrderedDict()
    errors = OrderedDict()
    for stream in streams:
        for line in stream:
            words = line.split()
            if not words or words[0] != "BENCH":
                continue
            fields = dict(w.split("=", 1) for w in words[1:] if "=" in w)
            try:
                key = (fields["table"], fields["case"].replace("_", " "),
                       fields["library"].replace("_", " "), int(fields["n"]))
                if "error" in fields:
                    errors[key + (fields["unit"],)] = fields["error"].replace("_", " ")
                    continue
                if "seconds" in fields:
                    unit, value = TIME_UNIT, float(fields["seconds"]) * 1e9 / float(fields["ops"])
                else:
                    unit, value = fields["unit"], float(fields["value"])
            except (KeyError, ValueError, ZeroDivisionError) as error:
                raise SystemExit("report: cannot read %r (%s)" % (line.strip(), error))
            runs.setdefault(key + (unit,), []).append(value)
    records = [{"table": table, "case": case, "library": library, "n": n, "unit": unit,
                "value": median(values), "runs": len(values)}
               for (table, case, library, n, unit), values in runs.items()]
    # A figure that failed in every run keeps its error.
    return records + [{"table": table, "case": case, "library": library, "n": n, "unit": unit,
                       "value": None, "error": error}
                      for (table, case, library, n, unit), error in errors.items()
                      if (table, case, library, n, unit) not in runs]


def csv_records(streams, suite):
    """Records of one suite in results.csv files."""
    records = []
    for stream in streams:
        for row in csv.DictReader(stream):
            if row["suite"] != suite:
                continue
            record = {"table": row["table"], "case": row["case"], "library": row["library"],
                      "n": int(row["n"]), "unit": row["unit"],
                      "value": float(row["value"]) if row["value"] else None}
            if row.get("error"):
                record["error"] = row["error"]
            records.append(record)
    return records


def convert(args, records):
    tables = [parse_table(t) for t in args.table]
    known = {t["id"] for t in tables}
    strays = sorted({r["table"] for r in records} - known)
    if strays:
        raise SystemExit("report: no --table describes %s" % ", ".join(strays))
    write_json(args.out, {"suite": args.suite, "tables": tables, "records": records})


# --- Rendering ------------------------------------------------------------------

def figure(value):
    if value is None:
        return "error"
    if isinstance(value, str):
        return value
    if abs(value) >= 100:
        return "{:,.0f}".format(value)
    if abs(value) >= 10:
        return "%.1f" % value
    return "%.2f" % value


def shown(record):
    """What a table shows of a record: its figure, its error's text, or
    nothing for a record that is not there."""
    if not record:
        return ""
    return record.get("error", "error") if record["value"] is None else record["value"]


def rows_of(table, records):
    """(case, n, unit, project figure, [(peer figure, ratio)...]) in the order
    the cases were first met, sizes ascending."""
    mine = [r for r in records if r["table"] == table["id"]]
    cases = list(OrderedDict.fromkeys((r["case"], r["unit"]) for r in mine))
    by_key = {(r["case"], r["unit"], r["library"], r["n"]): r for r in mine}
    rows = []
    for case, unit in cases:
        for n in sorted({r["n"] for r in mine if r["case"] == case and r["unit"] == unit}):
            own = by_key.get((case, unit, table["project"], n))
            own_value = own["value"] if own else None
            peers = []
            for peer in table["peers"]:
                other = by_key.get((case, unit, peer, n))
                other_value = other["value"] if other else None
                ratio = own_value / other_value if own_value is not None and other_value else None
                peers.append((shown(other), ratio))
            rows.append((case, n, unit, shown(own), peers))
    return rows


def table_cells(table, records):
    header = ["case", "n", "unit", table["project"]]
    for peer in table["peers"]:
        header += [peer, "ratio"]
    body = []
    for case, n, unit, own, peers in rows_of(table, records):
        line = [case, "{:,}".format(n), unit, figure(own) if own != "" else "-"]
        for other, ratio in peers:
            line += [figure(other) if other != "" else "-", "%.2f" % ratio if ratio is not None else "-"]
        body.append(line)
    return header, body


def plain_table(header, body):
    widths = [max(len(row[i]) for row in [header] + body) for i in range(len(header))]
    def line(row):
        return "  ".join(cell.ljust(w) if i == 0 else cell.rjust(w) for i, (cell, w) in enumerate(zip(row, widths)))
    return "\n".join([line(header), "  ".join("-" * w for w in widths)] + [line(r) for r in body])


def markdown_table(header, body):
    lines = ["| " + " | ".join(header) + " |",
             "|" + "|".join(["---"] + ["---:"] * (len(header) - 1)) + "|"]
    lines += ["| " + " | ".join(row) + " |" for row in body]
    return "\n".join(lines)


def heading(table):
    """The table's title and what its figures are."""
    return table["title"] + (": " + table["figure"] if table.get("figure") else "")


def ratio_note(table, records):
    """What the table's ratios mean: less is better for amounts, more for
    rates (units per second)."""
    units = {r["unit"] for r in records if r["table"] == table["id"]}
    if units and all(u.endswith("/s") for u in units):
        note = "Ratio = %s / peer; above 1 %s does more per second." % (table["project"], table["project"])
    else:
        note = "Ratio = %s / peer; below 1 %s needs less." % (table["project"], table["project"])
    return (table["note"] + " " if table.get("note") else "") + note


def slug(text):
    return re.sub(r"[^a-z0-9]+", "-", text.lower()).strip("-")


def ticks(low, high):
    """Ticks for a logarithmic axis from low to high: 1, 2 and 5 times the
    powers of ten between them; where that gives fewer than three (a range
    of less than a decade or so), every whole multiple of the powers of ten,
    and failing that, even steps of 1, 2 or 5 times a power of ten."""
    def multiples(factors):
        found = []
        power = 10.0 ** math.floor(math.log10(low))
        while power <= high:
            found += [m * power for m in factors if low <= m * power <= high]
            power *= 10
        return found
    for factors in ((1, 2, 5), range(1, 10)):
        found = multiples(factors)
        if len(found) >= 3:
            return found
    step = 10.0 ** math.floor(math.log10((high - low) / 3))
    for m in (5, 2, 1):
        if math.floor(high / (m * step)) - math.ceil(low / (m * step)) >= 2:
            step *= m
            break
    return [k * step for k in range(int(math.ceil(low / step)), int(math.floor(high / step)) + 1)]


def plot(table, records, out_dir):
    """One PNG per case of the table measured in time per operation."""
    gnuplot = shutil.which("gnuplot")
    if gnuplot is None:
        print("report: gnuplot not found, no plots", file=sys.stderr)
        return []
    libraries = [table["project"]] + table["peers"]
    mine = [r for r in records if r["table"] == table["id"] and r["unit"] == TIME_UNIT and r["value"]]
    written = []
    for case in OrderedDict.fromkeys(r["case"] for r in mine):
        series = []
        for library in libraries:
            points = sorted((r["n"], r["value"]) for r in mine if r["case"] == case and r["library"] == library)
            if points:
                label = case if case in table.get("alone", []) else library
                series.append((label, points))
        if not series:
            continue
        name = "%s-%s.png" % (table["id"], slug(case))
        if case in table.get("alone", []):
            series = series[:1]
        values = [v for _, points in series for _, v in points]
        sizes = [n for _, points in series for n, _ in points]
        script = [
            "set terminal pngcairo size 640,420 font 'sans,10'",
            "set output '%s'" % os.path.join(out_dir, name).replace("'", "''"),
            "set title '%s: %s'" % (table["title"].replace("'", "''"), case.replace("'", "''")),
            "set logscale xy",
            "set xlabel 'n'",
            "set ylabel '%s'" % table.get("axis", "ns per operation").replace("'", "''"),
            "set format x '10^{%L}'",
            "set key top left",
            "set grid",
            "set xrange [%g:%g]" % (min(sizes) / 1.5, max(sizes) * 1.5),
            "set yrange [%g:%g]" % (min(values) / 1.5, max(values) * 1.5),
            "set ytics (%s)" % ", ".join("'%g' %g" % (t, t) for t in ticks(min(values) / 1.5, max(values) * 1.5)),
            "plot " + ", ".join("'-' using 1:2 with linespoints lw 2 pt 7 title '%s'" % lib for lib, _ in series),
        ]
        for _, points in series:
            script += ["%d %.6g" % p for p in points] + ["e"]
        subprocess.run([gnuplot], input="\n".join(script) + "\n", text=True, check=True)
        written.append(name)
    return written


def render(args):
    suites = []
    for path in args.suite_files:
        with open(path) as f:
            suites.append(json.load(f))
    machine = {}
    if args.machine:
        with open(args.machine) as f:
            machine = json.load(f)
    os.makedirs(args.out, exist_ok=True)

    markdown = []
    if machine:
        markdown.append("Taken on %s." % ", ".join("%s: %s" % (k, v) for k, v in machine.items()))
    plots = []
    for suite in suites:
        for table in suite["tables"]:
            header, body = table_cells(table, suite["records"])
            if not body:
                continue  # a table whose part of the suite did not run here
            note = ratio_note(table, suite["records"])
            print("\n== %s: %s\n%s\n%s" % (suite["suite"], heading(table), note, plain_table(header, body)))
            markdown += ["", "### " + heading(table), "", note, "", markdown_table(header, body)]
            if table.get("plot"):
                plots += plot(table, suite["records"], args.out)
    with open(os.path.join(args.out, "tables.md"), "w") as f:
        f.write("\n".join(markdown) + "\n")

    write_json(os.path.join(args.out, "results.json"), {"machine": machine, "suites": suites})
    with open(os.path.join(args.out, "results.csv"), "w", newline="") as f:
        writer = csv.writer(f)
        writer.writerow(["suite", "table", "case", "library", "n", "unit", "value", "error"])
        for suite in suites:
            for r in suite["records"]:
                writer.writerow([suite["suite"], r["table"], r["case"], r["library"], r["n"], r["unit"],
                                 "" if r["value"] is None else "%.10g" % r["value"], r.get("error", "")])
    print("\nreport: results.json, results.csv, tables.md and %d plots in %s" % (len(plots), args.out))


def guide(args):
    begin = "<!-- scripts/bench: the %s suite's tables and plots begin -->" % args.suite
    end = "<!-- scripts/bench: the %s suite's tables and plots end -->" % args.suite
    with open(args.guide) as f:
        text = f.read()
    first, last = text.find(begin), text.find(end)
    if first < 0 or last < first:
        sys.exit("report: %s has no marker lines of the %s suite (%s)" % (args.guide, args.suite, begin))
    with open(args.tables) as f:
        block = [begin, "", f.read().strip(), ""]
    folder = os.path.relpath(os.path.dirname(os.path.abspath(args.tables)),
                             os.path.dirname(os.path.abspath(args.guide)))
    images = ["![%s](%s/%s)" % (name[len(args.suite) + 1:-len(".png")], folder, name) for name in sorted(args.plots.split())]
    if images:
        block += [" ".join(images[i:i + 2]) for i in range(0, len(images), 2)] + [""]
    block.append(end)
    with open(args.guide, "w") as f:
        f.write(text[:first] + "\n".join(block) + text[last + len(end):])


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    for name in ("gbench", "lines", "csv"):
        command = commands.add_parser(name)
        command.add_argument("--suite", required=True)
        command.add_argument("--out", required=True, help="the suite file to write")
        command.add_argument("--table", action="append", default=[], required=True)
        if name == "gbench":
            command.add_argument("inputs", nargs="+", help="Google Benchmark JSON files")
        elif name == "csv":
            command.add_argument("inputs", nargs="+", help="results.csv files render wrote")
        else:
            command.add_argument("inputs", nargs="*", help="files of BENCH lines (standard input if none)")
    command = commands.add_parser("render")
    command.add_argument("--out", required=True, help="the folder for tables, JSON, CSV and plots")
    command.add_argument("--machine", help="a JSON object describing the machine")
    command.add_argument("suite_files", nargs="+")
    command = commands.add_parser("guide")
    command.add_argument("--guide", required=True, help="the Markdown guide to write into")
    command.add_argument("--suite", required=True)
    command.add_argument("--tables", required=True, help="the suite's tables.md")
    command.add_argument("--plots", default="", help="the names of its plots, beside the tables, space-separated")
    args = parser.parse_args()

    if args.command == "gbench":
        documents = []
        for path in args.inputs:
            with open(path) as f:
                documents.append(json.load(f))
        convert(args, gbench_records(documents))
    elif args.command == "csv":
        streams = []
        for path in args.inputs:
            with open(path, newline="") as f:
                streams.append(list(f))
        convert(args, csv_records(streams, args.suite))
    elif args.command == "lines":
        if args.inputs:
            streams = []
            for path in args.inputs:
                with open(path) as f:
                    streams.append(f.readlines())
            records = line_records(streams)
        else:
            records = line_records([sys.stdin])
        convert(args, records)
    elif args.command == "guide":
        guide(args)
    else:
        render(args)


if __name__ == "__main__":
    main()
