"""Each command of the client against the built voltaris on the simulated bench: its result, and how it fails."""

from __future__ import annotations

import time
from pathlib import Path
from typing import Any

import pytest
from conftest import Start, sim

from voltaris import Command, Console, ConsoleError, DeviceMode, PortMode, Speed, Stage, Wait

CAMERA = 3  # the default bench's camera: index 3 in LD, address 4, on root port 2
READER = 6  # its card reader, the last device: address 7, on root port 6
FAULT = '\n[[fault]]\nrequest = "{}"\nstatus = 0x80001001\n'
DEFAULT_BENCH = (Path(__file__).parents[2] / "examples" / "default-bench.toml").read_text()
TWO_HOSTS = """
[[controller]]
id = "First"
ports = ["usb2"]
[[controller]]
id = "Second"
driver_version = "1.0.4.0"
ports = ["usb2"]
"""


def traced(console: Console, prefix: str) -> list[str]:
    assert console.trace_file is not None
    return [line for line in console.trace_file.read_text().splitlines() if line.startswith(prefix)]


@pytest.mark.parametrize("wait", list(Wait))
def test_listings_of_the_default_bench(start: Start, wait: Wait) -> None:
    console = start(wait=wait)
    [host] = console.hosts()
    assert (host.index, host.ports) == (0, 8) and host.host_id
    assert [(hub.index, hub.address, hub.ports, hub.superspeed) for hub in console.hubs()] == [
        (0, 1, 4, False), (1, 5, 4, True)]
    devices = console.devices()
    assert [(device.index, device.address) for device in devices] == [(i, i + 1) for i in range(7)]
    assert (devices[CAMERA].vid, devices[CAMERA].pid) == (0x1C4D, 0x0A20)
    assert [(port.number, port.speed) for port in console.ports("hs")] == [(n, Speed.HS) for n in range(1, 5)]
    assert [port.number for port in console.ports(Speed.SS)] == [5, 6, 7, 8]
    assert console.enumerate() == 7


def test_empty_lists_and_a_failed_enumeration(start: Start) -> None:
    console = start("[[controller]]\nid = \"Empty\"\n" + FAULT.format("Enumerate"))
    assert (console.hubs(), console.devices()) == ([], [])
    with pytest.raises(ConsoleError) as failed:
        console.enumerate()
    error = failed.value
    assert (error.command, error.status) == ("E", "UNSUCCESSFUL")
    assert "Enumeration Failed" in error.text and error.trace == ["Enumerate bench -> 0x80001001"]


def test_host_selection_at_the_prompt_and_with_sh(start: Start) -> None:
    console = start(TWO_HOSTS, host=None)
    assert [(host.index, host.ports) for host in console.hosts()] == [(0, None), (1, None)]
    with pytest.raises(ConsoleError, match="'2' failed"):
        console.select_host(2)
    assert [host.index for host in console.hosts()] == [0, 1]  # still at the host prompt, listed again
    console.select_host(0)
    assert [host.ports for host in console.hosts()] == [1, 1]
    with pytest.raises(ConsoleError) as refused:  # the second driver's version is refused
        console.select_host(console.hosts()[1])
    assert "Error selecting Host" in refused.value.text
    assert console.select_host(0).status == "READY"


@pytest.mark.parametrize("call, error", [
    (lambda c: c.port_test("TEST_PAKET", 1), ValueError),
    (lambda c: c.port_test(PortMode.TEST_J, 0), ValueError),
    (lambda c: c.port_test(PortMode.TEST_J, True), TypeError),
    (lambda c: c.port_test(PortMode.TEST_J, 1, hub=256), ValueError),
    (lambda c: c.device_test("TEST_FORCE_ENABLE", 0), ValueError),  # a TP word, not a TD word
    (lambda c: c.device_test(DeviceMode.LOOP_DEVICE_DESCRIPTOR, 0), ValueError),
    (lambda c: c.device_test(DeviceMode.SINGLE_STEP_SET_FEATURE, 0), ValueError),
    (lambda c: c.steps(DeviceMode.TEST_J, 0), ValueError),
    (lambda c: c.device_test(DeviceMode.TEST_J, "0"), TypeError),
    (lambda c: c.ports("XS"), ValueError),
    (lambda c: c.select_host(-1), ValueError),
    (lambda c: c.help("BOGUS"), ValueError),
])
def test_bad_words_and_numbers_are_refused_before_anything_is_sent(
    voltaris_console: Console, call: Any, error: type[Exception]
) -> None:
    with pytest.raises(error):
        call(voltaris_console)
    assert (voltaris_console.directory / "CLStatus.txt").read_bytes() == b"READY\r\n"  # emptied for each line sent


def test_port_tests_on_hub_and_root_ports(voltaris_console: Console) -> None:
    voltaris_console.port_test("test_packet", 3, hub=voltaris_console.hubs()[0])
    assert traced(voltaris_console, "SetPortFeature hub@1:3 21 4 0") == ["SetPortFeature hub@1:3 21 4 0 -> 0x00000000"]
    reply = voltaris_console.port_test(PortMode.TEST_PACKET, 2)
    assert (reply.command, reply.status) == ("TP TEST_PACKET 2", "READY") and "Successful" in reply.text
    assert reply.trace is not None and reply.trace[-1] == "SetPortFeature root:2 21 4 0 -> 0x00000000"
    with pytest.raises(ConsoleError) as refused:  # no root-port test mode on a SuperSpeed port
        voltaris_console.port_test(PortMode.TEST_J, 5)
    error = refused.value
    assert (error.command, error.status) == ("TP TEST_J 5", "UNSUCCESSFUL") and "Failed" in error.text
    assert error.trace and error.trace[-1] == "SetPortFeature root:5 21 1 0 -> 0x80001002"


def test_device_tests_and_a_device_left_in_its_test_mode(voltaris_console: Console) -> None:
    voltaris_console.device_test(DeviceMode.DEVICE_DESCRIPTOR, CAMERA)
    assert traced(voltaris_console, "GetDescriptor") == ["GetDescriptor dev@4 1 0 0 256 -> 0x00000000"]
    voltaris_console.device_test(DeviceMode.TEST_PACKET, voltaris_console.devices()[READER])
    with pytest.raises(ConsoleError, match="TD TEST_J 6") as gone:
        voltaris_console.device_test(DeviceMode.TEST_J, READER)
    assert "power cycle device" in gone.value.text
    sim(voltaris_console, "cycle", "6")
    voltaris_console.device_test(DeviceMode.RESUME, READER)


@pytest.mark.parametrize("mode, stages", [
    (DeviceMode.SINGLE_STEP_SET_FEATURE, 2), (DeviceMode.SINGLE_STEP_GET_DEV_DESC, 3)])
def test_single_steps_wait_between_stages(voltaris_console: Console, mode: DeviceMode, stages: int) -> None:
    seen: list[Stage] = []
    for stage in voltaris_console.steps(mode, CAMERA):
        seen.append(stage)
        # Each stage has gone out alone; the next waits for the iteration.
        assert len(traced(voltaris_console, "DoControlTransferSingleStep dev@4")) == stage.number
    assert [(stage.number, stage.succeeded) for stage in seen] == [(n, True) for n in range(1, stages + 1)]
    assert voltaris_console.devices()


def test_single_steps_with_a_failed_stage_fail_and_stopping_early_finishes(start: Start) -> None:
    console = start(DEFAULT_BENCH + FAULT.format("DoControlTransferSingleStep") + "count = 1\n")
    stages = console.steps(DeviceMode.SINGLE_STEP_SET_FEATURE, CAMERA)
    with pytest.raises(ConsoleError, match="SINGLE_STEP_SET_FEATURE 3' failed"):
        assert [stage.succeeded for stage in stages] == [False, True]
    for stage in console.steps(DeviceMode.SINGLE_STEP_GET_DEV_DESC, CAMERA):
        break
    assert len(traced(console, "DoControlTransferSingleStep dev@4")) == 2 + 3
    assert len(console.devices()) == 7


def test_descriptor_loop_reads_while_the_block_runs(start: Start) -> None:
    console = start()
    with console.loop_descriptor(CAMERA) as started:
        time.sleep(0.35)
    assert started.status == "READY"
    reads = len(traced(console, "GetDescriptor dev@4 1 0 0 256 -> 0x00000000"))
    time.sleep(0.25)
    assert 2 <= reads == len(traced(console, "GetDescriptor dev@4"))
    with pytest.raises(KeyError), console.loop_descriptor(CAMERA):  # the block's own error goes through
        raise KeyError("body")
    failing = start(DEFAULT_BENCH + FAULT.format("GetDescriptor"))
    with pytest.raises(ConsoleError, match="LOOP_DEVICE_DESCRIPTOR 3' failed"), failing.loop_descriptor(CAMERA):
        time.sleep(0.15)


def test_the_remove_device_question_is_answered(voltaris_console: Console) -> None:
    with pytest.raises(ConsoleError) as cancelled:
        voltaris_console.port_test(PortMode.SS_TX_COMPLIANCE_MODE, 6)  # CANCEL unless told otherwise
    assert "Remove Downstream Device" in cancelled.value.text
    asked: list[str] = []

    def unplug(question: str) -> bool:
        if not asked:
            sim(voltaris_console, "unplug", "6")
        asked.append(question)
        return True

    voltaris_console.port_test(PortMode.SS_TX_COMPLIANCE_MODE, 6, confirm=unplug)
    assert asked == ["Remove Downstream Device"] * 2  # asked once more: the port was read before the unplug
    assert traced(voltaris_console, "SetPortLinkFeature") == ["SetPortLinkFeature root:6 5 10 0 -> 0x00000000"]


@pytest.mark.parametrize("command, words", [(Command.TP, PortMode), ("td", DeviceMode)])
def test_the_mode_words_are_the_consoles(voltaris_console: Console, command: str, words: Any) -> None:
    usage = voltaris_console.help(command)
    assert set(usage.split("Test Modes:")[1].split()) == set(words)
    assert "TD" in voltaris_console.help()
