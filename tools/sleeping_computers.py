#!/usr/bin/env python3
"""Computers that sleep on the sandbox LAN, run by tools/sandbox in the peer namespace.

Each sleeper has an address, a MAC address and a wake delay in seconds ("never": it never
wakes; "awake": it is awake from the start and stays so, a computer that never sleeps). Asleep,
it is nowhere on the LAN. Like a network adapter in standby, the agent looks at
every frame on the link (whatever its port or protocol) for a magic packet with the sleeper's
MAC; the delay after the first one, a macvlan interface with that MAC and address comes up and
answers ARP, until a test puts it back to sleep: a file MAC.sleep (MAC as 02-77-00-00-01-31) in
the commands folder removes the interface; the file is then renamed MAC.done. A file NAME.up holding
"ADDRESS MAC" brings up a computer never seen before, awake, until its MAC.sleep; it is then
renamed NAME.done.

The agent also counts the ARP requests on the link that come from the MAC given with
--count-from (this machine's, so that the computers' own requests do not count), broadcast or
unicast, whatever address they ask for: a file NAME.arp in the commands folder is answered with
NAME.done holding "<time> <requests seen so far>", a file NAME.arptimes with NAME.done holding
one line per request: the time it arrived (the kernel's, so that a busy agent does not bunch
them), "broadcast" or "unicast", and the address asked for.

The log gets one line per event, with the wall clock time in seconds:
    <time> magic <MAC>
    <time> awake <MAC> <address>
    <time> asleep <MAC>
"""
import argparse
import os
import select
import socket
import struct
import subprocess
import time

ETH_P_ALL = 0x0003
SO_TIMESTAMPNS = 35


def mac_bytes(text):
    return bytes(int(part, 16) for part in text.replace(":", "-").split("-"))


def run(*args):
    subprocess.run(args, check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class Sleeper:
    def __init__(self, entry, index):
        address, mac, delay = entry.split("=")
        self.address = address
        self.mac = mac.upper().replace(":", "-")
        self.pattern = b"\xff" * 6 + mac_bytes(mac) * 16
        self.always = delay == "awake"
        self.delay = None if delay in ("never", "awake") else float(delay)
        self.interface = f"sleep{index}"
        self.wake_at = None
        self.awake = False

    def wake(self, log):
        run("ip", "link", "add", "link", "lan0", "name", self.interface, "address",
            self.mac.replace("-", ":"), "type", "macvlan", "mode", "bridge")
        run("ip", "addr", "add", f"{self.address}/32", "dev", self.interface)
        run("ip", "link", "set", self.interface, "up")
        self.awake = True
        self.wake_at = None
        log.write(f"{time.time():.3f} awake {self.mac} {self.address}\n")

    def sleep(self, log):
        run("ip", "link", "del", self.interface)
        self.awake = False
        self.wake_at = None
        log.write(f"{time.time():.3f} asleep {self.mac}\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--log", required=True)
    parser.add_argument("--commands", required=True)
    parser.add_argument("--count-from", help="count only the ARP requests from this MAC")
    parser.add_argument("sleepers", nargs="*", help="ADDRESS=MAC=DELAY")
    args = parser.parse_args()
    count_from = mac_bytes(args.count_from) if args.count_from else None

    sleepers = [Sleeper(entry, i) for i, entry in enumerate(args.sleepers)]
    log = open(args.log, "a", buffering=1)
    for s in sleepers:
        if s.always:
            s.wake(log)
    link = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(ETH_P_ALL))
    link.bind(("lan0", 0))
    link.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
    arp_requests = 0
    arp_times = []
    while True:
        ready, _, _ = select.select([link], [], [], 0.05)
        if ready:
            frame, ancillary, _, source = link.recvmsg(65535, 64)
            arrived = time.time()
            for level, kind, data in ancillary:
                if level == socket.SOL_SOCKET and kind == SO_TIMESTAMPNS and len(data) >= 16:
                    seconds, nanoseconds = struct.unpack("qq", data[:16])
                    arrived = seconds + nanoseconds / 1e9
            # Ethernet type 0x0806, operation 1: who has; only what arrives (4: sent from here),
            # with the counted sender hardware address.
            if (source[2] != 4 and frame[12:14] == b"\x08\x06" and frame[20:22] == b"\x00\x01"
                    and (count_from is None or frame[22:28] == count_from)):
                arp_requests += 1
                kind = "broadcast" if frame[0:6] == b"\xff" * 6 else "unicast"
                arp_times.append(f"{arrived:.6f} {kind} {socket.inet_ntoa(frame[38:42])}\n")
            for s in sleepers:
                if not s.awake and s.wake_at is None and s.pattern in frame:
                    log.write(f"{time.time():.3f} magic {s.mac}\n")
                    if s.delay is not None:
                        s.wake_at = time.monotonic() + s.delay
        now = time.monotonic()
        for s in sleepers:
            if s.wake_at is not None and now >= s.wake_at:
                s.wake(log)
        for name in os.listdir(args.commands):
            if name.endswith(".arp"):
                path = os.path.join(args.commands, name)
                with open(path[: -len(".arp")] + ".tmp", "w") as f:
                    f.write(f"{time.time():.3f} {arp_requests}\n")
                os.rename(path[: -len(".arp")] + ".tmp", path[: -len(".arp")] + ".done")
                os.remove(path)
                continue
            if name.endswith(".arptimes"):
                path = os.path.join(args.commands, name)
                base = path[: -len(".arptimes")]
                with open(base + ".tmp", "w") as f:
                    f.writelines(arp_times)
                os.rename(base + ".tmp", base + ".done")
                os.remove(path)
                continue
            if name.endswith(".up"):
                path = os.path.join(args.commands, name)
                with open(path) as f:
                    words = f.read().split()
                if len(words) == 2:
                    for s in [s for s in sleepers if s.address == words[0] and s.awake]:
                        s.sleep(log)
                    sleepers.append(Sleeper(f"{words[0]}={words[1]}=never", len(sleepers)))
                    sleepers[-1].wake(log)
                os.rename(path, path[: -len(".up")] + ".done")
                continue
            if not name.endswith(".sleep"):
                continue
            mac = name[: -len(".sleep")].upper()
            for s in sleepers:
                if s.mac == mac and (s.awake or s.wake_at is not None):
                    s.sleep(log)
            path = os.path.join(args.commands, name)
            os.rename(path, path[: -len(".sleep")] + ".done")


if __name__ == "__main__":
    main()
