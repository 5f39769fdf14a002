#!/usr/bin/env python3
"""A computer on the sandbox LAN, run by tools/sandbox in the peer namespace.

Logs every UDP datagram that reaches one of its ports, one line each:
    <source address> <source port> <destination address> <destination port> <payload hex>
The destination is the datagram's own (a broadcast stays a broadcast), taken from IP_PKTINFO.

Sends datagrams on request: a file NAME.cmd dropped into the commands folder holds lines
    send <address> <port> <payload hex> [count] [source port]
or
    wake <address> <port> <first MAC hex> <count> <source port> <rate> [every]
which sends count datagrams at a steady rate in datagrams per second (for measuring a
listener): magic packets for consecutive MAC addresses from the first one or, with every, one
magic packet in every that many datagrams and other datagrams between them (alternately 64
bytes of counting bytes, and 102 bytes that start like a magic packet but differ in the last
copy of the address). Lines are run in order and the file is then renamed NAME.done.
"""
import argparse
import os
import select
import socket
import struct
import time

IP_PKTINFO = 8


def parse_ports(text):
    ports = []
    for item in text.split(","):
        if "-" in item:
            first, last = item.split("-")
            ports.extend(range(int(first), int(last) + 1))
        else:
            ports.append(int(item))
    return ports


def send_wake_stream(words):
    address, port, first_mac = words[1], int(words[2]), int(words[3], 16)
    count, source_port, rate = int(words[4]), int(words[5]), float(words[6])
    every = int(words[7]) if len(words) > 7 else 1
    counting = bytes(range(64))
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("0.0.0.0", source_port))
    start = time.perf_counter()
    for i in range(count):
        mac = ((first_mac + i // every) & 0xFFFFFFFFFFFF).to_bytes(6, "big")
        if i % every == 0:
            payload = b"\xff" * 6 + mac * 16
        elif i % 2:
            payload = counting
        else:
            payload = b"\xff" * 6 + mac * 15 + bytes(6)
        # Paced by the clock, not by sleeping: sleeps are far coarser than the gaps at high rates.
        due = start + i / rate
        while time.perf_counter() < due:
            pass
        s.sendto(payload, (address, port))
    s.close()


def run_command_file(path):
    with open(path) as f:
        lines = f.read().splitlines()
    for line in lines:
        words = line.split()
        if words and words[0] == "wake":
            send_wake_stream(words)
            continue
        if not words or words[0] != "send":
            continue
        address, port, payload = words[1], int(words[2]), bytes.fromhex(words[3])
        count = int(words[4]) if len(words) > 4 else 1
        source_port = int(words[5]) if len(words) > 5 else 0
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind(("0.0.0.0", source_port))
        for _ in range(count):
            s.sendto(payload, (address, port))
        s.close()
    os.rename(path, path[: -len(".cmd")] + ".done")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--log", required=True)
    parser.add_argument("--commands", required=True)
    parser.add_argument("--ports", required=True)
    args = parser.parse_args()

    sockets = []
    for port in parse_ports(args.ports):
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.setsockopt(socket.IPPROTO_IP, IP_PKTINFO, 1)
        s.bind(("0.0.0.0", port))
        sockets.append((s, port))

    log = open(args.log, "a", buffering=1)
    by_fd = {s.fileno(): (s, port) for s, port in sockets}
    poller = select.poll()
    for s, _ in sockets:
        poller.register(s, select.POLLIN)
    while True:
        for fd, _ in poller.poll(20):
            s, port = by_fd[fd]
            data, ancillary, _, source = s.recvmsg(65535, socket.CMSG_SPACE(12))
            destination = "?"
            for level, kind, value in ancillary:
                if level == socket.IPPROTO_IP and kind == IP_PKTINFO:
                    destination = socket.inet_ntoa(value[8:12])
            log.write(f"{source[0]} {source[1]} {destination} {port} {data.hex()}\n")
        for name in sorted(os.listdir(args.commands)):
            if name.endswith(".cmd"):
                run_command_file(os.path.join(args.commands, name))


if __name__ == "__main__":
    main()
