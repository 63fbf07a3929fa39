"""Puts each USB 2.0 root port of the first host controller into TEST_PACKET, one after another."""

from voltaris import Console, PortMode, Speed

with Console(bench="sim") as console:  # bench="linux": the machine's own controllers
    print("Host controller:", console.hosts()[0].host_id)
    for port in console.ports(Speed.HS):
        console.port_test(PortMode.TEST_PACKET, port)
        input(f"Root port {port.number} sends test packets: measure, then press Enter ")
print("Every root port measured")
