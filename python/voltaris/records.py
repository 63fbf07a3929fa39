"""What the listing commands report, read from CLInformation.txt."""

from __future__ import annotations

import re
from collections.abc import Callable
from dataclasses import dataclass
from typing import TypeVar

from .words import Speed


@dataclass(frozen=True)
class Host:
    """A host controller: its index for SH, its ID text and its total root port count.

    At the host prompt the console has not counted the ports yet: ports is None then.
    """

    index: int
    host_id: str
    ports: int | None


@dataclass(frozen=True)
class Hub:
    """A hub of the selected controller; index is what TP takes as its hub index."""

    index: int
    vid: int
    pid: int
    address: int
    ports: int
    extra_info: str

    @property
    def superspeed(self) -> bool:
        return self.extra_info == "SuperSpeed"


@dataclass(frozen=True)
class Device:
    """A device (hubs included) of the selected controller; index is what TD takes."""

    index: int
    vid: int
    pid: int
    address: int


@dataclass(frozen=True)
class Port:
    """A root port of the selected controller."""

    number: int
    speed: Speed


@dataclass(frozen=True)
class Stage:
    """One stage of a single-step command: its number from 1, whether it succeeded, what the console said."""

    number: int
    succeeded: bool
    text: str


_Record = TypeVar("_Record")

HOST_LINE = re.compile(r"INDEX\|(\d+)\|HOST_INFO\|(.*)\|NUM_PORTS\|(\d+)")
HOST_PROMPT_LINE = re.compile(r"INDEX\|(\d+)\|HOST_INFO\|(.*)")
HUB_LINE = re.compile(
    r"INDEX\|(\d+)\|VID\|([0-9a-f]+)\|PID\|([0-9a-f]+)\|ADDRESS\|(\d+)\|NUM_PORTS\|(\d+)\|EXTRA_INFO\|(.*)\|"
)
DEVICE_LINE = re.compile(r"INDEX\|(\d+)\|VID\|([0-9a-f]+)\|PID\|([0-9a-f]+)\|ADDRESS\|(\d+)")
PORT_LINE = re.compile(r"PORT\|(\d+)\|(HI-SPEED|SUPERSPEED)")


def parse_listing(
    text: str, pattern: re.Pattern[str], empty_word: str, build: Callable[[re.Match[str]], _Record]
) -> list[_Record]:
    """The records of an information file; ValueError names a line that does not fit."""
    if text == empty_word:
        return []
    *lines, rest = text.split("\r\n")
    if rest:
        raise ValueError(f"CLInformation.txt ends in the middle of a line: {rest!r}")
    records = []
    for line in lines:
        match = pattern.fullmatch(line)
        if not match:
            raise ValueError(f"CLInformation.txt holds a line the client cannot read: {line!r}")
        records.append(build(match))
    return records


def host(match: re.Match[str]) -> Host:
    ports = match.group(3) if match.re is HOST_LINE else None
    return Host(int(match.group(1)), match.group(2), None if ports is None else int(ports))


def hub(match: re.Match[str]) -> Hub:
    index, vid, pid, address, ports, extra = match.groups()
    return Hub(int(index), int(vid, 16), int(pid, 16), int(address), int(ports), extra)


def device(match: re.Match[str]) -> Device:
    index, vid, pid, address = match.groups()
    return Device(int(index), int(vid, 16), int(pid, 16), int(address))


def port(match: re.Match[str]) -> Port:
    return Port(int(match.group(1)), Speed.HS if match.group(2) == "HI-SPEED" else Speed.SS)
