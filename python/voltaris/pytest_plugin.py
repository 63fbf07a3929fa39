"""pytest plugin: the voltaris_console fixture, a console on host 0, ended after each test.

    --voltaris-binary PATH   the voltaris to run (default: voltaris on PATH)
    --voltaris-bench BENCH   its VOLTARIS_BENCH (default: sim, the simulated bench)
"""

from __future__ import annotations

import os
import uuid
from collections.abc import Iterator

import pytest

from .console import Console


def unique_instance() -> str:
    """A VOLTARIS_INSTANCE of its own, named after this process."""
    return f"pytest-{os.getpid()}-{uuid.uuid4().hex[:8]}"


def pytest_addoption(parser: pytest.Parser) -> None:
    group = parser.getgroup("voltaris", "voltaris console")
    group.addoption("--voltaris-binary", default="voltaris", help="the voltaris program (default: voltaris on PATH)")
    group.addoption(
        "--voltaris-bench",
        default="sim",
        help="VOLTARIS_BENCH for the console: sim (default), sim:PATH or linux (the machine's controllers)",
    )


@pytest.fixture
def voltaris_console(request: pytest.FixtureRequest) -> Iterator[Console]:
    """A console with host 0 selected, tracing its bench requests; ended with EXIT after the test."""
    bench = str(request.config.getoption("voltaris_bench"))
    # Simulated benches may run side by side (pytest -n); a machine's controllers take one voltaris at a time.
    instance = unique_instance() if bench.startswith("sim") else None
    with Console(str(request.config.getoption("voltaris_binary")), bench, instance=instance, trace=True) as console:
        yield console
