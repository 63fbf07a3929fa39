"""Drives "voltaris /C" the way its status files are meant to be used.

For each command the client empties CLStatus.txt, writes the command line,
waits until the status file reads READY or UNSUCCESSFUL again, and only then
reads CLInformation.txt. The console's output is read all along (so the
console never blocks on a full pipe): it tells which prompt the console waits
at, carries the question a command may ask, and goes into every reply and
error, so nothing the console says is lost.
"""

from __future__ import annotations

import contextlib
import enum
import os
import re
import select
import shutil
import signal
import subprocess
import tempfile
import time
from collections.abc import Callable, Iterator, Mapping
from dataclasses import dataclass
from pathlib import Path
from types import TracebackType
from typing import IO, TypeVar

from . import records
from .errors import ConsoleEnded, ConsoleError, ConsoleTimeout
from .records import Device, Host, Hub, Port, Stage
from .words import STAGES, Command, DeviceMode, PortMode, Speed, Status

STATUS_FILE = "CLStatus.txt"
INFORMATION_FILE = "CLInformation.txt"
TRACE_FILE = "voltaris-trace.log"


class Prompt(enum.Enum):
    """Where the console waits for a line, by the text it shows there."""

    HOST = "\nSelect Valid Host Controller Index: "
    COMMAND = "\nEnter Command: "
    STEP = "\nPress Enter to go to next step..."
    LOOP = "\nPress Enter to stop looping..."


# A question inside a command ("Remove Downstream Device"): the status stays BUSY.
QUESTION = b" OK or CANCEL: "

# An answer to a question: a fixed one (True for OK) or a function of its text.
Confirm = bool | Callable[[str], bool]


class Wait(enum.StrEnum):
    """How the client notices that the status file changed.

    PIPE waits on the console's output, which shows each prompt just before
    the status file changes, and then polls the file briefly; POLL polls the
    status file alone, with a growing pause.
    """

    PIPE = "pipe"
    POLL = "poll"


# Pauses between two looks at the status file (seconds): the first, and the
# longest for each way of waiting. Polling alone bounds the latency by its
# longest pause; on the pipe the output wakes the wait and the polls only
# back it up.
FIRST_PAUSE = 0.0001
LONGEST_PAUSE = {Wait.POLL: 0.01, Wait.PIPE: 0.05}

# How long an ending console gets after SIGTERM before it is killed (seconds).
TERMINATE_GRACE = 2.0


@dataclass(frozen=True)
class Reply:
    """A command that succeeded: the line sent, the status word, what the console wrote for it.

    text ends before the console's next prompt; trace holds the bench requests
    the command made, or None when the console does not trace.
    """

    command: str
    status: Status
    text: str
    stderr: str
    trace: list[str] | None


_Record = TypeVar("_Record")
_Error = TypeVar("_Error", bound=ConsoleError)


def _number(value: int | Host | Hub | Device | Port, what: str, low: int = 0, high: int = 255) -> int:
    """An index or port number, from an int or a record; bad values are refused before anything is sent."""
    if isinstance(value, Port):
        value = value.number
    elif isinstance(value, (Host, Hub, Device)):
        value = value.index
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{what} must be an int or a record, not {type(value).__name__}")
    if not low <= value <= high:
        raise ValueError(f"{what} {value} is not in {low}..{high}")
    return value


class Console:
    """A running "voltaris /C", driven through its pipes and status files.

    binary is the program (found on PATH), bench the VOLTARIS_BENCH it is given
    ("sim", "sim:PATH", "linux"; None leaves the choice to voltaris and the
    environment), directory where it runs and keeps its status files (a
    temporary directory, removed at the end, by default), env variables added
    to this process's environment, instance its VOLTARIS_INSTANCE (a name of
    its own lets it run beside another voltaris; None keeps the environment's).

    host is chosen at the host prompt (None stays there, for select_host());
    trace=True (or a file name) has every bench request recorded, and the
    requests of a command go into its reply and errors; timeout bounds each
    wait for a prompt (seconds); confirm answers the questions a command asks
    (True: OK, False: CANCEL, or a function given the question's text).

    As a context manager it ends the console with EXIT on leaving; close()
    does the same. A Console is not meant to be used from several threads.
    """

    def __init__(
        self,
        binary: str | os.PathLike[str] = "voltaris",
        bench: str | None = None,
        directory: str | os.PathLike[str] | None = None,
        env: Mapping[str, str] | None = None,
        instance: str | None = None,
        *,
        host: int | None = 0,
        trace: bool | str | os.PathLike[str] = False,
        timeout: float = 30.0,
        confirm: Confirm = False,
        wait: Wait | str = Wait.PIPE,
    ) -> None:
        self._temporary = directory is None
        folder = Path(tempfile.mkdtemp(prefix="voltaris-") if directory is None else directory)
        trace_file = self._trace_path(folder, trace)
        environment = dict(os.environ)
        environment.update(env or {})
        for name, value in (("VOLTARIS_BENCH", bench), ("VOLTARIS_INSTANCE", instance), ("VOLTARIS_TRACE", trace_file)):
            if value is not None:
                environment[name] = str(value)
        # A path is the caller's, not one from the console's directory; a bare name is looked up on PATH.
        program = os.fspath(binary)
        if os.sep in program:
            program = os.path.abspath(program)
        # A word left from an earlier run must not pass for this console's first prompt.
        self._empty_status(folder)
        try:
            process = subprocess.Popen(
                [program, "/C"],
                stdin=subprocess.PIPE,
                stdout=subprocess.PIPE,
                stderr=subprocess.PIPE,
                cwd=folder,
                env=environment,
            )
        except OSError as error:
            if self._temporary:
                shutil.rmtree(folder, ignore_errors=True)
            raise ConsoleEnded(f"cannot start {program}: {error.strerror or error}") from error
        self._begin(process, folder, environment.get("VOLTARIS_INSTANCE"), trace_file, host, timeout, confirm, wait)

    @classmethod
    def attach(
        cls,
        process: subprocess.Popen[bytes],
        directory: str | os.PathLike[str],
        *,
        host: int | None = 0,
        trace: str | os.PathLike[str] | None = None,
        timeout: float = 30.0,
        confirm: Confirm = False,
        wait: Wait | str = Wait.PIPE,
    ) -> Console:
        """Takes over a "voltaris /C" the caller started with its input and output on pipes.

        directory is the console's working directory; nothing may have read the
        console's output yet. trace names the console's VOLTARIS_TRACE file, if
        any. Closing the Console ends the process.
        """
        if process.stdin is None or process.stdout is None:
            raise ValueError("the console's input and output must be pipes (stdin=PIPE, stdout=PIPE)")
        console = cls.__new__(cls)
        console._temporary = False
        trace_file = None if trace is None else Path(trace)
        console._begin(process, Path(directory), None, trace_file, host, timeout, confirm, wait)
        return console

    @staticmethod
    def _trace_path(folder: Path, trace: bool | str | os.PathLike[str]) -> Path | None:
        if trace is True:
            return folder / TRACE_FILE
        return None if trace is False else Path(trace).absolute()

    def _begin(
        self,
        process: subprocess.Popen[bytes],
        directory: Path,
        instance: str | None,
        trace_file: Path | None,
        host: int | None,
        timeout: float,
        confirm: Confirm,
        wait: Wait | str,
    ) -> None:
        self.process = process
        self.directory = directory
        self._status_file = os.fspath(directory / STATUS_FILE)  # read several times a command: made once
        self.instance = instance
        self.trace_file = trace_file
        self.timeout = timeout
        self.confirm = confirm
        self._wait_mode = Wait(wait)
        self._prompt: Prompt | None = None
        self._closed = False
        self._end_reported = False
        self._output = bytearray()
        self._errors = bytearray()
        streams = ((process.stdout, self._output), (process.stderr, self._errors))
        self._sources = {stream.fileno(): buffer for stream, buffer in streams if stream is not None}
        for fd in self._sources:
            os.set_blocking(fd, False)
        try:
            reply, prompt = self._exchange(None)
            if prompt not in (Prompt.HOST, Prompt.COMMAND):
                raise ConsoleError("the console does not show its host or command prompt", text=reply.text)
            if prompt is Prompt.HOST and host is not None:
                self.select_host(host)
        except BaseException:
            self.close()
            raise

    # The context manager ends the console, and says so when it ended badly
    # and nothing has reported that yet.
    def __enter__(self) -> Console:
        return self

    def __exit__(
        self, kind: type[BaseException] | None, value: BaseException | None, traceback: TracebackType | None
    ) -> None:
        returncode = self.close()
        if kind is None and returncode != 0 and not self._end_reported:
            raise self._ended(f"voltaris ended with exit status {returncode}", None, "")

    def __del__(self) -> None:
        with contextlib.suppress(Exception):
            self.close()

    # Commands.

    def hosts(self) -> list[Host]:
        """The host controllers: LH's list, or at the host prompt the one shown there (without port counts)."""
        if self._prompt is Prompt.HOST:
            # The list is appended again each time the prompt is repeated.
            shown = self._listing(None, records.HOST_PROMPT_LINE, "", records.host)
            return list({host.index: host for host in shown}.values())
        reply = self._command(Command.LH)
        return self._listing(reply, records.HOST_LINE, "NO_HOST_FOUND", records.host)

    def select_host(self, host: int | Host) -> Reply:
        """Chooses a host controller: the index at the host prompt, else SH, which also enumerates its bus."""
        index = _number(host, "host index")
        if self._prompt is Prompt.HOST:
            return self._command(str(index), at=(Prompt.HOST,))
        return self._command(f"{Command.SH} {index}")

    def enumerate(self) -> int:
        """Enumerates the bus again (E); returns the number of devices found."""
        reply = self._command(Command.E)
        found = re.search(r"(\d+) Device\(s\) Detected", reply.text)
        if not found:
            raise ConsoleError("E reported no device count", command=reply.command, text=reply.text)
        return int(found.group(1))

    def hubs(self) -> list[Hub]:
        """The hubs of the selected controller (LB)."""
        reply = self._command(Command.LB)
        return self._listing(reply, records.HUB_LINE, "NO_HUBS_FOUND", records.hub)

    def devices(self) -> list[Device]:
        """The devices of the selected controller, hubs included (LD)."""
        reply = self._command(Command.LD)
        return self._listing(reply, records.DEVICE_LINE, "NO_DEVICES_FOUND", records.device)

    def ports(self, speed: Speed | str) -> list[Port]:
        """The selected controller's USB 2.0 (HS) or SuperSpeed (SS) root ports (GP)."""
        reply = self._command(f"{Command.GP} {Speed.parse(speed)}")
        return self._listing(reply, records.PORT_LINE, "", records.port)

    def port_test(
        self, mode: PortMode | str, port: int | Port, hub: int | Hub | None = None, *, confirm: Confirm | None = None
    ) -> Reply:
        """Puts a root port, or port of hub (index from hubs()), into a test mode or acts on it (TP).

        confirm answers a question the command asks, in place of the console's own confirm.
        """
        words = [Command.TP, PortMode.parse(mode), str(_number(port, "port", 1))]
        if hub is not None:
            words.append(str(_number(hub, "hub index")))
        return self._command(" ".join(words), confirm=confirm)

    def device_test(self, mode: DeviceMode | str, device: int | Device) -> Reply:
        """Sends a device (index from devices()) a test mode or command (TD).

        The single-step commands go through steps(), the descriptor loop through loop_descriptor().
        """
        mode = DeviceMode.parse(mode)
        if mode in STAGES or mode is DeviceMode.LOOP_DEVICE_DESCRIPTOR:
            use = "loop_descriptor()" if mode is DeviceMode.LOOP_DEVICE_DESCRIPTOR else "steps()"
            raise ValueError(f"{mode} waits between its stages: use {use}")
        return self._command(f"{Command.TD} {mode} {_number(device, 'device index')}")

    def steps(self, mode: DeviceMode | str, device: int | Device) -> Iterator[Stage]:
        """Runs a single-step command, yielding after each stage while the console waits before the next.

        list(console.steps(...)) runs it through. Once the last stage is yielded, a sequence
        with a failed stage raises ConsoleError; stopping the iteration early still runs the
        remaining stages, since the console has no way to cut a sequence short.
        """
        mode = DeviceMode.parse(mode)
        if mode not in STAGES:
            raise ValueError(f"{mode} is not a single-step command (one of {', '.join(STAGES)})")
        return self._stages(f"{Command.TD} {mode} {_number(device, 'device index')}")

    def _stages(self, line: str) -> Iterator[Stage]:
        self._check_at((Prompt.COMMAND,))
        reply, prompt = self._exchange(line)
        number = 0
        while prompt is Prompt.STEP:
            number += 1
            try:
                yield Stage(number, "Step Successful" in reply.text, reply.text)
            except GeneratorExit:
                while self._prompt is Prompt.STEP:
                    self._exchange("")
                raise
            reply, prompt = self._exchange("")
        if prompt is Prompt.COMMAND and " Step " in reply.text:
            yield Stage(number + 1, "Step Successful" in reply.text, reply.text)
        self._judge(line, reply, prompt, (Prompt.COMMAND,))

    @contextlib.contextmanager
    def loop_descriptor(self, device: int | Device) -> Iterator[Reply]:
        """Reads the device's descriptor ten times a second for as long as the with block runs.

        Leaving the block stops the loop; a loop in which a read failed raises ConsoleError then.
        """
        line = f"{Command.TD} {DeviceMode.LOOP_DEVICE_DESCRIPTOR} {_number(device, 'device index')}"
        started = self._command(line, then=(Prompt.LOOP,))
        try:
            yield started
        except BaseException:
            with contextlib.suppress(ConsoleError):
                self._exchange("")
            raise
        reply, prompt = self._exchange("")
        self._judge(line, reply, prompt, (Prompt.COMMAND,))

    def help(self, command: Command | str | None = None) -> str:
        """The console's help menu, or a command's usage text."""
        line = Command.HELP.value if command is None else f"{Command.parse(command)} ?"
        return self._command(line).text

    def close(self) -> int:
        """Ends the console with EXIT and waits; stops it (SIGTERM, then SIGKILL) only when it does not end.

        Returns its exit status (-N after signal N). At a prompt inside a command the input is
        closed instead, which ends the console as EXIT does.
        """
        if self._closed:
            return self.process.returncode
        self._closed = True
        try:
            if self.process.poll() is None:
                assert self.process.stdin is not None
                with contextlib.suppress(OSError, ConsoleError):
                    if self._prompt in (Prompt.HOST, Prompt.COMMAND):
                        self._empty_status(self.directory)
                        self.process.stdin.write(f"{Command.EXIT}\n".encode())
                with contextlib.suppress(OSError):
                    self.process.stdin.close()
                self._prompt = None
                self._reap()
        finally:
            for stream in (self.process.stdin, self.process.stdout, self.process.stderr):
                if stream is not None:
                    with contextlib.suppress(OSError):  # a write the console did not take
                        stream.close()
            if self._temporary:
                shutil.rmtree(self.directory, ignore_errors=True)
        return self.process.returncode

    # The exchange of one line.

    def _command(
        self,
        line: str,
        *,
        at: tuple[Prompt, ...] = (Prompt.COMMAND,),
        then: tuple[Prompt, ...] = (Prompt.COMMAND,),
        confirm: Confirm | None = None,
    ) -> Reply:
        self._check_at(at)
        reply, prompt = self._exchange(line, confirm)
        self._judge(line, reply, prompt, then)
        return reply

    def _check_at(self, prompts: tuple[Prompt, ...]) -> None:
        if self._closed or self.process.poll() is not None:
            raise self._ended("voltaris has ended", None, "")
        if self._prompt not in prompts:
            where = "no known prompt" if self._prompt is None else self._prompt.name.lower() + " prompt"
            raise ConsoleError(f"the console waits at its {where}, not where this command can be sent")

    @staticmethod
    def _judge(line: str, reply: Reply, prompt: Prompt | None, then: tuple[Prompt, ...]) -> None:
        """Raises for a command that failed, or that left the console at another prompt than it should."""
        if reply.status is Status.UNSUCCESSFUL:
            message = f"{line!r} failed"
        elif prompt not in then:
            message = f"after {line!r} the console does not wait where it should"
        else:
            return
        raise ConsoleError(
            message, command=line, status=reply.status, text=reply.text, stderr=reply.stderr, trace=reply.trace
        )

    def _exchange(self, line: str | None, confirm: Confirm | None = None) -> tuple[Reply, Prompt | None]:
        """Sends line (None: nothing) and waits for the next prompt; the reply and the prompt it ends at.

        confirm answers the questions asked meanwhile (None: the console's own confirm).
        """
        self._output.clear()
        self._errors.clear()
        mark = self._trace_size()
        self._prompt = None
        if line is not None:
            self._empty_status(self.directory)
            self._write(line + "\n")
        status = self._wait(line, self.confirm if confirm is None else confirm)
        text = self._output.decode("utf-8", "replace")
        prompt = next((p for p in Prompt if text.endswith(p.value)), None)
        if prompt is not None:
            text = text[: -len(prompt.value)]
        self._prompt = prompt
        stderr = self._errors.decode("utf-8", "replace")
        return Reply("" if line is None else str(line), status, text, stderr, self._trace_since(mark)), prompt

    def _wait(self, line: str | None, confirm: Confirm) -> Status:
        deadline = time.monotonic() + self.timeout
        pause = FIRST_PAUSE
        answered = 0
        while True:
            self._read(0)
            word = self._status()
            # Before the first line is sent the word may be older than this console
            # (attach()): only the prompt's text, written just before it, makes it this one's.
            fresh = line is not None or any(self._output.endswith(p.value.encode()) for p in Prompt)
            if word in (Status.READY, Status.UNSUCCESSFUL) and fresh:
                while self._read(0):  # the prompt was written before the word
                    pass
                return Status(word)
            if self._output.endswith(QUESTION) and len(self._output) > answered:
                answered = len(self._output)
                self._answer(confirm)
                deadline = time.monotonic() + self.timeout  # the time taken to answer is not the console's
                continue
            if self.process.poll() is not None:
                while self._read(0):
                    pass
                raise self._ended("voltaris ended", line, word)
            left = deadline - time.monotonic()
            if left <= 0:
                raise self._error(ConsoleTimeout, f"voltaris showed no prompt within {self.timeout:g} s", line, word)
            woke = self._read(min(pause, left))
            if woke and self._wait_mode is Wait.PIPE:
                pause = FIRST_PAUSE  # the status follows the output at once
            else:
                pause = min(2 * pause, LONGEST_PAUSE[self._wait_mode])

    def _answer(self, confirm: Confirm) -> None:
        shown = self._output[: -len(QUESTION)].decode("utf-8", "replace").strip()
        question = shown.rsplit("\n", 1)[-1].strip()
        try:
            ok = confirm(question) if callable(confirm) else confirm
        except BaseException:
            self._write("CANCEL\n")
            raise
        self._write("OK\n" if ok else "CANCEL\n")

    def _read(self, wait: float) -> bool:
        """Takes what the console wrote, after waiting up to wait seconds on the pipe (or asleep).

        True when something came.
        """
        fds = list(self._sources)
        if self._wait_mode is Wait.PIPE and fds:
            fds = select.select(fds, [], [], wait)[0]
        elif wait > 0:
            time.sleep(wait)
        came = False
        for fd in fds:
            try:
                chunk = os.read(fd, 65536)
            except BlockingIOError:
                continue
            if chunk:
                self._sources[fd] += chunk
                came = True
            else:
                del self._sources[fd]  # the console closed it
        return came

    def _write(self, text: str) -> None:
        assert self.process.stdin is not None
        try:
            self.process.stdin.write(text.encode())
            self.process.stdin.flush()
        except OSError as error:
            # The console has ended, or is ending: give it a moment for its exit status.
            with contextlib.suppress(subprocess.TimeoutExpired):
                self.process.wait(timeout=1.0)
            raise self._ended("voltaris no longer reads its input", text.rstrip("\n"), self._status()) from error

    def _reap(self) -> None:
        """Waits for the console to end (reading its output meanwhile); SIGTERM, then SIGKILL, when it does not."""
        deadline = time.monotonic() + self.timeout
        while self.process.poll() is None and time.monotonic() < deadline:
            self._read(0.01)
        for stop, grace in ((signal.SIGTERM, TERMINATE_GRACE), (signal.SIGKILL, None)):
            if self.process.poll() is not None:
                break
            self.process.send_signal(stop)
            self.process.send_signal(signal.SIGCONT)  # a stopped console could not act on SIGTERM
            with contextlib.suppress(subprocess.TimeoutExpired):
                self.process.wait(timeout=grace)
        while self._read(0):
            pass

    def _ended(self, message: str, line: str | None, status: str) -> ConsoleEnded:
        self._end_reported = True
        return self._error(ConsoleEnded, message, line, status)

    def _error(self, kind: type[_Error], message: str, line: str | None, status: str) -> _Error:
        """An error carrying what the console wrote since the line was sent."""
        return kind(
            message, command=line, status=status, text=self._output.decode("utf-8", "replace"),
            stderr=self._errors.decode("utf-8", "replace"), returncode=self.process.returncode,
        )

    # The files.

    @staticmethod
    def _empty_status(directory: Path) -> None:
        """Empties the status file, without creating it or following a link."""
        try:
            fd = os.open(directory / STATUS_FILE, os.O_WRONLY | os.O_TRUNC | os.O_NOFOLLOW | os.O_CLOEXEC)
        except FileNotFoundError:
            return
        except OSError as error:
            raise ConsoleError(f"cannot empty {directory / STATUS_FILE}: {error.strerror}") from error
        os.close(fd)

    def _status(self) -> str:
        """The status file's word, or "" while it holds no whole line."""
        try:
            with open(self._status_file, "rb") as status:
                content = status.read()
        except OSError:
            return ""
        return content[:-2].decode("ascii", "replace") if content.endswith(b"\r\n") else ""

    def _listing(
        self,
        reply: Reply | None,
        pattern: re.Pattern[str],
        empty_word: str,
        build: Callable[[re.Match[str]], _Record],
    ) -> list[_Record]:
        try:
            text = (self.directory / INFORMATION_FILE).read_bytes().decode("utf-8", "replace")
            return records.parse_listing(text, pattern, empty_word, build)
        except (OSError, ValueError) as error:
            raise ConsoleError(
                f"cannot read {INFORMATION_FILE}: {error}", command=None if reply is None else reply.command,
                text="" if reply is None else reply.text,
            ) from error

    def _trace_size(self) -> int:
        try:
            return 0 if self.trace_file is None else self.trace_file.stat().st_size
        except OSError:
            return 0

    def _trace_since(self, mark: int) -> list[str] | None:
        if self.trace_file is None:
            return None
        try:
            with self.trace_file.open("rb") as trace:
                trace.seek(mark)
                return trace.read().decode("utf-8", "replace").splitlines()
        except OSError:
            return []
