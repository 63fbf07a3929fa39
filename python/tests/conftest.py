"""Consoles on the simulated bench, voltaris-sim, and a check that no voltaris outlives its test."""

from __future__ import annotations

import os
import subprocess
from collections.abc import Callable, Iterator
from pathlib import Path
from typing import Any

import pytest

from voltaris import Console
from voltaris.pytest_plugin import unique_instance

SIM = os.environ.get("VOLTARIS_SIM_BINARY", "voltaris-sim")
# How the VOLTARIS_INSTANCE of every console of this run begins.
RUN_PREFIX = unique_instance().rsplit("-", 1)[0] + "-"

Start = Callable[..., Console]


@pytest.fixture
def start(request: pytest.FixtureRequest, tmp_path: Path) -> Iterator[Start]:
    """start(bench_text=None, **options): a console on the default bench or on a bench file's text."""
    consoles: list[Console] = []

    def start(bench_text: str | None = None, **options: Any) -> Console:
        bench = "sim"
        if bench_text is not None:
            bench_file = tmp_path / f"bench{len(consoles)}.toml"
            bench_file.write_text(bench_text)
            bench = f"sim:{bench_file}"
        options.setdefault("instance", unique_instance())
        options.setdefault("trace", True)
        console = Console(request.config.getoption("voltaris_binary"), bench, **options)
        consoles.append(console)
        return console

    yield start
    for console in consoles:
        console.close()


def sim(console: Console, action: str, at: str) -> None:
    """Changes the console's simulated bench (voltaris-sim unplug, plug, cycle)."""
    assert console.instance is not None
    environment = {**os.environ, "VOLTARIS_INSTANCE": console.instance}
    subprocess.run([SIM, action, at], env=environment, check=True, capture_output=True)


@pytest.fixture(autouse=True)
def no_voltaris_left() -> Iterator[None]:
    yield
    left = []
    for environ in Path("/proc").glob("[0-9]*/environ"):
        try:
            if f"VOLTARIS_INSTANCE={RUN_PREFIX}".encode() in environ.read_bytes():
                left.append((environ.parent / "cmdline").read_bytes().replace(b"\0", b" ").decode())
        except OSError:
            pass  # it ended meanwhile, or is not ours
    assert not left, f"still running: {left}"
