"""A survey campaign over Dask: many survey lines, one settings file, one task a line.

Each task imports its line (GSF, Kongsberg .all or .kmall, or a record stream as it is), filters it with the `kvsblocks filter` routine, writes the filtered line into the
output folder and, when asked, the edited copy of the original (`kvsblocks export`).
Outputs are written whole or not at all, so a task that runs again after its worker died
leaves no half-written file. Only a small summary of each line travels back; the result is
one row a line, as a pandas DataFrame and as campaign.csv and campaign.json in the output
folder. A line that fails gives a row with its error; the others still complete.

    from kvsdatablocks import campaign
    table = campaign.run(["line1.gsf", "line2.kvs"], "filters.attr", "out/")

    python3 -m kvsdatablocks.campaign line1.gsf line2.kvs -a filters.attr -o out/ [--export]
        [--scheduler tcp://host:8786]

Without a client a local cluster is started (one worker process a core) and closed at the
end. With a client (or --scheduler) the lines run on that cluster, whose workers must see
the lines, the settings file and the output folder under the same paths (a shared file
system).
"""
import argparse
import json
import os
import socket
import sys
import tempfile
import time
import warnings

import kvsdatablocks as kvs

STREAM_MAGIC = b"KVSBLKS1"
# The format of a line by the class of the reader import_file gives for it.
READER_FORMATS = {"GsfImport": "gsf", "KongsbergAllImport": "all", "KongsbergKmallImport": "kmall"}
RESULT_NAMES = ("campaign.csv", "campaign.json")
# The row's columns before and after the beams flagged by each filter ("flagged <name>").
HEAD_COLUMNS = ["file", "format", "pings", "beams", "usable", "rejected %"]
TAIL_COLUMNS = ["warnings", "seconds", "worker", "error", "output", "export"]


def _need_dask():
    """dask.distributed and pandas, or ImportError saying what to install."""
    try:
        import distributed
        import pandas
    except ImportError as e:
        raise ImportError(f"kvsdatablocks.campaign needs Dask and pandas ({e}); on Debian: "
                          "apt-get install python3-dask python3-distributed python3-pandas") from e
    return distributed, pandas


def file_format(path):
    """"kvs" for a record stream, "gsf" for a GSF file, None for anything else (by the first bytes)."""
    with open(path, "rb") as f:
        head = f.read(16)
    if head.startswith(STREAM_MAGIC):
        return "kvs"
    if head[8:13] == b"GSF-v" or head[12:17] == b"GSF-v":
        return "gsf"
    return None


def open_source(path):
    """The format of a survey file and its blocks (an iterator and context manager).

    The module's import_file reads every format it knows; without it GSF files go through
    import_gsf and record streams through read_stream.
    """
    fmt = file_format(path)
    if fmt != "kvs" and hasattr(kvs, "import_file"):
        blocks = kvs.import_file(path)
        return READER_FORMATS.get(type(blocks).__name__, fmt or "imported"), blocks
    if fmt == "gsf":
        return fmt, kvs.import_gsf(path)
    if fmt == "kvs":
        return fmt, kvs.read_stream(path)
    raise ValueError(f"{path}: neither a record stream nor a survey file format this module imports")


def output_names(path, out_dir):
    """Where a line's outputs go: the filtered record stream (a stream keeps its file name,
    as with `kvsblocks filter -o FOLDER`; another file gets ".kvs" added) and the edited copy
    of the original (its file name)."""
    name = os.path.basename(os.fspath(path))
    filtered = name if name.endswith(".kvs") else name + ".kvs"
    return os.path.join(out_dir, filtered), os.path.join(out_dir, name)


def _worker_name():
    try:
        from distributed import get_worker
        return get_worker().address
    except (ImportError, ValueError):
        return f"{socket.gethostname()}:{os.getpid()}"


def _summary_row(row, summary):
    beams = summary.get("beams", 0)
    rejected = summary.get("beamsRejected", 0)
    row.update({"pings": summary.get("blocksIn", 0), "beams": beams, "usable": beams - rejected,
                "rejected %": round(100.0 * rejected / beams, 4) if beams else 0.0})
    for name, count in summary.get("beamsPerFlag", {}).items():
        row[f"flagged {name}"] = count
    warnings = list(summary.get("warnings", [])) + list(summary.get("messages", []))
    row["warnings"] = "; ".join(str(w) for w in warnings)


def process_line(path, settings, out_dir, export=False):
    """One line, start to end, on whatever worker runs it; returns its row (a dict)."""
    start = time.perf_counter()
    filtered, edited = output_names(path, out_dir)
    row = {"file": os.fspath(path), "format": None, "worker": _worker_name(), "error": "", "output": "",
           "export": ""}
    try:
        os.makedirs(out_dir, exist_ok=True)
        fmt = file_format(path)
        if fmt == "kvs":
            row["format"] = fmt
            summary = kvs.filter_file(path, filtered, settings)
        else:
            # Imported into a stream of the worker's own, then filtered as the tool filters it.
            row["format"], blocks = open_source(path)
            with tempfile.TemporaryDirectory(prefix="kvs-campaign-") as tmp:
                stream = os.path.join(tmp, "imported.kvs")
                with blocks, kvs.write_stream(stream) as writer:
                    for block in blocks:
                        writer.write(block)
                summary = kvs.filter_file(stream, filtered, settings)
        row["output"] = filtered
        _summary_row(row, summary)
        if export:
            try:
                kvs.export_file(filtered, path, edited)
                row["export"] = edited
            except kvs.Error as e:  # a refused edit (the 20 % guard) leaves the filtered line good
                row["warnings"] = "; ".join(w for w in (row["warnings"], f"no edited copy: {e}") if w)
    except kvs.StreamError as e:
        if getattr(e, "summary", None):
            _summary_row(row, e.summary)
        row["error"] = str(e)
    except kvs.Error as e:  # the library's message names the file and the place
        row["error"] = str(e)
    except Exception as e:  # the row carries whatever stopped this line; the others go on
        row["error"] = f"{type(e).__name__}: {e}"
    row["seconds"] = round(time.perf_counter() - start, 3)
    return row


def _table(rows, pandas):
    frame = pandas.DataFrame(rows)
    per_filter = [c for c in frame.columns if c.startswith("flagged ")]
    for c in HEAD_COLUMNS + TAIL_COLUMNS:
        if c not in frame.columns:
            frame[c] = None
    # Counts stay whole numbers beside the rows of lines that failed (which have none).
    for c in ["pings", "beams", "usable"] + per_filter:
        frame[c] = frame[c].astype("Int64")
    return frame[HEAD_COLUMNS + per_filter + TAIL_COLUMNS]


def _write_whole(path, text):
    """Writes text to path whole or not at all (a new file renamed over it)."""
    folder = os.path.dirname(path) or "."
    with tempfile.NamedTemporaryFile("w", dir=folder, prefix=os.path.basename(path) + ".tmp.", delete=False,
                                     encoding="utf-8", newline="") as f:
        try:
            f.write(text)
            f.flush()
            os.fsync(f.fileno())
        except BaseException:
            os.unlink(f.name)
            raise
    os.replace(f.name, path)


def _check_names(paths, out_dir):
    seen = {}
    for path in paths:
        for name in output_names(path, out_dir):
            if os.path.basename(name) in RESULT_NAMES:
                raise ValueError(f"{path}: its output would be the campaign's own {os.path.basename(name)}")
        filtered = output_names(path, out_dir)[0]
        if filtered in seen:
            raise ValueError(f"{seen[filtered]} and {path} would both be written to {filtered}: "
                             "give lines of different file names, or run them into different folders")
        seen[filtered] = path


def run(paths, settings, out_dir, client=None, export=False, progress=True):
    """Processes every line of paths with the settings into out_dir; returns the table of rows.

    settings: an attribute file (the workers read it: a path they see) or a dict keyed by
    attribute name. client: a distributed.Client; None starts a local cluster of one worker
    process a core and closes it at the end. export: also write the edited copy of each
    original (`kvsblocks export`). progress: a progress bar while it runs and the total at the end (stdout).
    The table is written to out_dir as campaign.csv and campaign.json as well.
    """
    distributed, pandas = _need_dask()
    paths = [os.path.abspath(os.fspath(p)) for p in paths]
    out_dir = os.path.abspath(os.fspath(out_dir))
    if not isinstance(settings, dict):
        settings = os.path.abspath(os.fspath(settings))
    if isinstance(settings, dict) or os.path.exists(settings):
        kvs.MultibeamFilter(settings)  # refused here, once, rather than by every line
    _check_names(paths, out_dir)
    os.makedirs(out_dir, exist_ok=True)

    start = time.perf_counter()
    cluster = None
    if client is None:
        cores = len(os.sched_getaffinity(0))
        cluster = distributed.LocalCluster(n_workers=cores, threads_per_worker=1, processes=True,
                                           dashboard_address=":0")
        client = distributed.Client(cluster)
    try:
        futures = client.map(process_line, paths, settings=settings, out_dir=out_dir, export=export, pure=False)
        if progress:
            distributed.progress(futures)
        rows = []
        for path, future in zip(paths, futures):
            try:
                rows.append(future.result())
            except Exception as e:  # the task itself could not run (its workers kept dying)
                rows.append({"file": path, "error": f"{type(e).__name__}: {e}"})
    finally:
        if cluster is not None:
            client.close()
            cluster.close()
    wall = time.perf_counter() - start

    table = _table(rows, pandas)
    _write_whole(os.path.join(out_dir, RESULT_NAMES[0]), table.to_csv(index=False))
    records = json.loads(table.to_json(orient="records"))  # NA as null, numpy numbers as JSON numbers
    _write_whole(os.path.join(out_dir, RESULT_NAMES[1]), json.dumps(records, indent=2, ensure_ascii=False) + "\n")
    if progress:
        print(total_text(table, wall))
    return table


def total_text(table, wall):
    """The campaign's total in one line."""
    ok = table[table["error"].fillna("") == ""]
    beams = int(ok["beams"].sum()) if len(ok) else 0
    usable = int(ok["usable"].sum()) if len(ok) else 0
    rejected = 100.0 * (beams - usable) / beams if beams else 0.0
    return (f"total: {len(table)} lines, {len(table) - len(ok)} failed; {int(ok['pings'].sum()) if len(ok) else 0} "
            f"pings, {beams} beams, {usable} usable, {rejected:.2f} % rejected; wall time {wall:.1f} s, "
            f"{table['seconds'].fillna(0).sum():.1f} s of work")


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m kvsdatablocks.campaign",
                                     description="Filter a survey campaign, one Dask task a line.")
    parser.add_argument("lines", nargs="+", help="survey lines: GSF files, other formats the module imports, "
                        "or record streams")
    parser.add_argument("-a", "--attributes", required=True, help="attribute file with the filter settings")
    parser.add_argument("-o", "--output", required=True, help="output folder (created if absent)")
    parser.add_argument("--scheduler", help="address of a Dask scheduler (tcp://host:8786); its workers must "
                        "see the lines, the attribute file and the output folder under the same paths. "
                        "Default: a local cluster of one worker process a core")
    parser.add_argument("--export", action="store_true", help="also write the edited copy of each original (kvsblocks export)")
    parser.add_argument("--no-progress", dest="progress", action="store_false", help="no progress bar and total")
    args = parser.parse_args(argv)
    # Debian's tornado warns on every event loop Dask starts; nothing a user can act on.
    warnings.filterwarnings("ignore", message="make_current is deprecated", category=DeprecationWarning)
    try:
        distributed, _ = _need_dask()
        client = distributed.Client(args.scheduler) if args.scheduler else None
        try:
            table = run(args.lines, args.attributes, args.output, client=client, export=args.export,
                        progress=args.progress)
        finally:
            if client is not None:
                client.close()
    except (ImportError, OSError, ValueError, KeyError, TypeError) as e:
        print(f"kvsdatablocks.campaign: {e}", file=sys.stderr)
        return 1
    for _, row in table[table["error"].fillna("") != ""].iterrows():
        where = "" if row["file"] in row["error"] else f"{row['file']}: "
        print(f"kvsdatablocks.campaign: {where}{row['error']}", file=sys.stderr)
    print(f"results: {os.path.join(os.path.abspath(args.output), RESULT_NAMES[0])}, {RESULT_NAMES[1]}")
    return 1 if (table["error"].fillna("") != "").any() else 0


if __name__ == "__main__":
    # The tasks must name this module by its own name, not __main__, for the workers.
    from kvsdatablocks.campaign import main as _main
    sys.exit(_main())
