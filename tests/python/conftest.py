"""Shared fixtures: the kvsblocks tool the tests compare against, and simulated lines."""
import json
import os
import pathlib
import subprocess

import pytest

SOURCE_DIR = pathlib.Path(os.environ.get("KVS_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))
FILTER_SETTINGS = SOURCE_DIR / "examples" / "filters.attr"


@pytest.fixture(scope="session")
def tool():
    """Runs kvsblocks with the arguments; returns its standard output (JSON parsed with as_json)."""
    path = os.environ.get("KVS_TOOL")
    if not path or not os.access(path, os.X_OK):
        pytest.skip("KVS_TOOL does not name the kvsblocks program")

    def run(*args, as_json=False, check=True):
        done = subprocess.run([path, *map(str, args)], capture_output=True, text=True)
        if check and done.returncode != 0:
            raise AssertionError(f"kvsblocks {' '.join(map(str, args))}: {done.stderr}")
        return json.loads(done.stdout) if as_json else done

    return run


@pytest.fixture(scope="session")
def multibeam_line(tool, tmp_path_factory):
    path = tmp_path_factory.mktemp("lines") / "multibeam.kvs"
    tool("simulate", "-o", path, "--beams", 300, "--pings", 40, "--spikes", 0.01, "--flying", 0.2, "--seed", 5, "-q")
    return path


@pytest.fixture(scope="session")
def singlebeam_line(tool, tmp_path_factory):
    path = tmp_path_factory.mktemp("lines") / "singlebeam.kvs"
    tool("simulate", "-o", path, "--kind", "singlebeam", "--pings", 200, "--spikes", 0.05, "--seed", 9, "-q")
    return path


def read_settings(path):
    """An attribute file ("name = type:value" lines) as the dict the filters take."""
    kinds = {"bool": lambda v: v.lower() in ("true", "1", "yes"), "int": int, "double": float, "string": str}
    settings = {}
    for line in pathlib.Path(path).read_text().splitlines():
        line = line.strip()
        if not line or line.startswith(("#", ";")):
            continue
        name, typed = (part.strip() for part in line.split("=", 1))
        kind, value = (part.strip() for part in typed.split(":", 1))
        settings[name] = kinds[kind](value)
    return settings
