"""What a failed command, an ended console and a console that stopped answering raise."""

from __future__ import annotations

# The last requests of a trace that the message shows; the attribute keeps them all.
TRACE_SHOWN = 20


class ConsoleError(Exception):
    """A command failed, or the console could not be started or driven.

    command is the line sent (None when nothing was sent), status the status
    file's word at the end ("" when it held none), text what the console wrote
    on its output for the command, stderr what it wrote on its error output,
    trace the bench requests the command made (None unless the console was
    started with trace=True), returncode the exit status of a console that
    has ended (-N after signal N), else None.
    """

    def __init__(
        self,
        message: str,
        *,
        command: str | None = None,
        status: str = "",
        text: str = "",
        stderr: str = "",
        trace: list[str] | None = None,
        returncode: int | None = None,
    ) -> None:
        super().__init__(message)
        self.command = command
        self.status = status
        self.text = text
        self.stderr = stderr
        self.trace = trace
        self.returncode = returncode

    def __str__(self) -> str:
        parts = [str(self.args[0])]
        if self.status:
            parts.append(f"status: {self.status}")
        if self.returncode is not None:
            parts.append(f"exit status: {self.returncode}")
        if self.text.strip():
            parts.append("console: " + self.text.strip())
        if self.stderr.strip():
            parts.append("stderr: " + self.stderr.strip())
        if self.trace:
            shown = self.trace[-TRACE_SHOWN:]
            hidden = len(self.trace) - len(shown)
            earlier = f" ({hidden} earlier requests not shown)" if hidden else ""
            parts.append(f"trace{earlier}:\n  " + "\n  ".join(shown))
        return "\n".join(parts)


class ConsoleEnded(ConsoleError):
    """The console has ended, or could not be started."""


class ConsoleTimeout(ConsoleError):
    """The console showed no prompt within the timeout."""
