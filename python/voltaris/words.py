"""The console's own words: commands, test modes, port speeds, status words."""

from __future__ import annotations

import enum
from typing import Self


class _Word(enum.StrEnum):
    """A word the console reads or writes; each member's value is the word itself."""

    @classmethod
    def parse(cls, word: Self | str) -> Self:
        """The member for word (in any letter case); ValueError for a word the console does not know."""
        if isinstance(word, cls):
            return word
        if isinstance(word, str):
            try:
                return cls(word.upper())
            except ValueError:
                pass
        choices = ", ".join(member.value for member in cls)
        raise ValueError(f"{word!r} is not a {cls.__name__} word of the console (one of {choices})")


class Command(_Word):
    """The console's commands."""

    HELP = "HELP"
    LH = "LH"
    SH = "SH"
    E = "E"
    LB = "LB"
    LD = "LD"
    GP = "GP"
    TP = "TP"
    TD = "TD"
    GUI = "GUI"
    EXIT = "EXIT"


class PortMode(_Word):
    """What TP does to a root port or a hub's downstream port."""

    TEST_J = "TEST_J"
    TEST_K = "TEST_K"
    TEST_SE0_NAK = "TEST_SE0_NAK"
    TEST_PACKET = "TEST_PACKET"
    SUSPEND = "SUSPEND"
    RESUME = "RESUME"
    RESET = "RESET"
    TEST_FORCE_ENABLE = "TEST_FORCE_ENABLE"
    SS_TX_COMPLIANCE_MODE = "SS_TX_COMPLIANCE_MODE"


class DeviceMode(_Word):
    """What TD does to a device's upstream port."""

    TEST_J = "TEST_J"
    TEST_K = "TEST_K"
    TEST_SE0_NAK = "TEST_SE0_NAK"
    TEST_PACKET = "TEST_PACKET"
    SUSPEND = "SUSPEND"
    RESUME = "RESUME"
    RESET = "RESET"
    DEVICE_DESCRIPTOR = "DEVICE_DESCRIPTOR"
    LOOP_DEVICE_DESCRIPTOR = "LOOP_DEVICE_DESCRIPTOR"
    ENABLE_WAKEUP = "ENABLE_WAKEUP"
    DISABLE_WAKEUP = "DISABLE_WAKEUP"
    SINGLE_STEP_SET_FEATURE = "SINGLE_STEP_SET_FEATURE"
    SINGLE_STEP_GET_DEV_DESC = "SINGLE_STEP_GET_DEV_DESC"
    PARENT_TEST_PACKET = "PARENT_TEST_PACKET"


class Speed(_Word):
    """The root ports GP lists: USB 2.0 (HS) or SuperSpeed (SS)."""

    HS = "HS"
    SS = "SS"


class Status(_Word):
    """The words of CLStatus.txt."""

    READY = "READY"
    BUSY = "BUSY"
    UNSUCCESSFUL = "UNSUCCESSFUL"
    ERROR_LOADING_DRIVER = "ERROR_LOADING_DRIVER"
    COULD_NOT_FIND_HOST = "COULD_NOT_FIND_HOST"
    REBOOT_NEEDED = "REBOOT_NEEDED"
    INVALID_DRIVER = "INVALID_DRIVER"


# The stages of each single-step command.
STAGES = {DeviceMode.SINGLE_STEP_SET_FEATURE: 2, DeviceMode.SINGLE_STEP_GET_DEV_DESC: 3}
