"""The Python client's two ways of waiting for the console, side by side in one run.

Two consoles on the built-in bench: one waits on the console's output pipe, the
other polls CLStatus.txt with a growing pause. Their LD commands alternate, so
both see the same machine. For each way it prints the round trip of an LD (from
writing the line until the client has the reply), the client's CPU time per
command, and the CPU time the client spends in one second of waiting on a
console that stays busy (stopped with SIGSTOP).

    console_wait_bench.py VOLTARIS [COMMANDS]
"""

from __future__ import annotations

import os
import resource
import signal
import statistics
import sys
import time
from collections.abc import Callable
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "python"))

from voltaris import Console, ConsoleTimeout, Wait  # noqa: E402


def cpu() -> float:
    """CPU time (user and system) of this process so far, in seconds."""
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime


def main() -> int:
    binary = sys.argv[1]
    commands = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    consoles = {wait: Console(binary, "sim", instance=f"wait-bench-{os.getpid()}-{wait}", wait=wait) for wait in Wait}
    times: dict[Wait, list[float]] = {wait: [] for wait in Wait}
    spent = dict.fromkeys(Wait, 0.0)
    for _ in range(commands):
        for wait, console in consoles.items():
            used, start = cpu(), time.perf_counter()
            console.devices()
            times[wait].append(time.perf_counter() - start)
            spent[wait] += cpu() - used

    idle = {}
    for wait, console in consoles.items():
        console.timeout = 1.0
        console.process.send_signal(signal.SIGSTOP)
        used = cpu()
        try:
            console.devices()
        except ConsoleTimeout:
            idle[wait] = cpu() - used
        console.close()

    print(f"console LD round trip through the Python client, {commands} commands each, alternating")
    print(f"  {'':24}" + "".join(f"{wait.value:>12}" for wait in Wait))
    rows: dict[str, Callable[[list[float]], float]] = {
        "median (us)": lambda t: statistics.median(t) * 1e6,
        "p90 (us)": lambda t: statistics.quantiles(t, n=10)[-1] * 1e6,
        "p99 (us)": lambda t: statistics.quantiles(t, n=100)[-1] * 1e6,
        "max (us)": lambda t: max(t) * 1e6,
        "total (ms)": lambda t: sum(t) * 1e3,
    }
    for name, figure in rows.items():
        print(f"  {name:24}" + "".join(f"{figure(times[wait]):12.1f}" for wait in Wait))
    print(f"  {'client CPU/command (us)':24}" + "".join(f"{spent[wait] / commands * 1e6:12.1f}" for wait in Wait))
    print(f"  {'CPU in 1 s busy (ms)':24}" + "".join(f"{idle.get(wait, float('nan')) * 1e3:12.2f}" for wait in Wait))
    return 0 if len(idle) == len(Wait) else 1


if __name__ == "__main__":
    sys.exit(main())
