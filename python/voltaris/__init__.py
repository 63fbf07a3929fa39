"""A client for the voltaris console ("voltaris /C"), for test scripts and pytest."""

from .console import Console, Reply, Wait
from .errors import ConsoleEnded, ConsoleError, ConsoleTimeout
from .records import Device, Host, Hub, Port, Stage
from .words import Command, DeviceMode, PortMode, Speed, Status

__version__ = "0.1.0"

__all__ = [
    "Command",
    "Console",
    "ConsoleEnded",
    "ConsoleError",
    "ConsoleTimeout",
    "Device",
    "DeviceMode",
    "Host",
    "Hub",
    "Port",
    "PortMode",
    "Reply",
    "Speed",
    "Stage",
    "Status",
    "Wait",
]
