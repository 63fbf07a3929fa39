"""Starting, attaching to and ending consoles: the example script, consoles that cannot start, end or hang."""

from __future__ import annotations

import os
import signal
import subprocess
import sys
from pathlib import Path

import pytest
from conftest import RUN_PREFIX, Start

from voltaris import Console, ConsoleEnded, ConsoleTimeout, PortMode

ROOT = Path(__file__).parents[2]
EXAMPLE = ROOT / "python" / "examples" / "root_ports_test_packet.py"


def test_example_script_walks_every_root_port(request: pytest.FixtureRequest, tmp_path: Path) -> None:
    code = EXAMPLE.read_text()
    assert code.split('"""\n\n', 1)[1] in (ROOT / "README.md").read_text()
    binary = Path(request.config.getoption("voltaris_binary")).absolute()
    trace = tmp_path / "trace.log"
    environment = {**os.environ, "PATH": f"{binary.parent}:{os.environ['PATH']}", "VOLTARIS_TRACE": str(trace),
                   "VOLTARIS_INSTANCE": RUN_PREFIX + "example",
                   "PYTHONPATH": str(Path(__file__).parents[1])}
    run = subprocess.run([sys.executable, EXAMPLE], input="\n" * 4, env=environment, cwd=tmp_path,
                         capture_output=True, text=True, timeout=20)
    assert run.returncode == 0, run.stderr
    assert run.stdout.count("press Enter") == 4 and run.stdout.endswith("Every root port measured\n")
    test_modes = [line for line in trace.read_text().splitlines() if " 21 4 0 " in line]
    assert test_modes == [f"SetPortFeature root:{port} 21 4 0 -> 0x00000000" for port in range(1, 5)]


@pytest.mark.parametrize("binary, bench, returncode, status, said", [
    ("/nonexistent/voltaris", "sim", None, "", ""),
    (None, "sim:/nonexistent.toml", 2, "", "/nonexistent.toml"),  # a bench that cannot start
    (None, "sim:{empty}", 1, "COULD_NOT_FIND_HOST", "No Host Controllers Found"),
])
def test_a_console_that_cannot_start(request: pytest.FixtureRequest, tmp_path: Path, binary: str | None, bench: str,
                                     returncode: int | None, status: str, said: str) -> None:
    (tmp_path / "empty.toml").write_text("# a PC without xHCI\n")
    with pytest.raises(ConsoleEnded) as ended:
        Console(binary or request.config.getoption("voltaris_binary"), bench.format(empty=tmp_path / "empty.toml"),
                instance=RUN_PREFIX + "start")
    error = ended.value
    assert (error.returncode, error.status) == (returncode, status)
    assert said in error.text + error.stderr and (binary is None or "cannot start" in str(error))


def test_a_second_console_of_the_same_instance_is_refused(start: Start) -> None:
    first = start()
    with pytest.raises(ConsoleEnded, match="exit status: 1") as refused:
        start(instance=first.instance)
    assert "already running" in refused.value.stderr
    assert first.devices()


def test_a_console_killed_from_outside(start: Start) -> None:
    with start() as console:
        console.process.kill()
        console.process.wait()
        with pytest.raises(ConsoleEnded) as ended:
            console.devices()
        assert ended.value.returncode == -signal.SIGKILL
    with pytest.raises(ConsoleEnded, match="exit status: -9"), start() as console, console.loop_descriptor(0):
        console.process.kill()  # while the console waits inside a command


def test_a_console_that_stops_answering(start: Start) -> None:
    console = start(timeout=0.3)
    console.process.send_signal(signal.SIGSTOP)
    with pytest.raises(ConsoleTimeout, match="no prompt within 0.3 s"):
        console.port_test(PortMode.RESET, 1)
    assert console.close() == 128 + signal.SIGTERM  # ended as a SIGTERM ends it: bench closed, stack restored


def test_attach_to_a_console_started_by_the_caller(request: pytest.FixtureRequest, tmp_path: Path) -> None:
    environment = {**os.environ, "VOLTARIS_BENCH": "sim", "VOLTARIS_INSTANCE": RUN_PREFIX + "attach"}
    (tmp_path / "CLStatus.txt").write_bytes(b"READY\r\n")  # left by an earlier run: not this console's prompt
    process = subprocess.Popen([request.config.getoption("voltaris_binary"), "/C"], stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, cwd=tmp_path, env=environment)
    with Console.attach(process, tmp_path) as console:
        assert len(console.devices()) == 7
    assert process.returncode == 0
    with subprocess.Popen(["true"], stdin=subprocess.PIPE) as other, pytest.raises(ValueError, match="pipes"):
        Console.attach(other, tmp_path)
