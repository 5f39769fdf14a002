#!/usr/bin/env python3
"""The sandbox LAN's name server, run by tools/sandbox in the peer namespace.

Three ways for names to resolve in the host namespace, chosen at start (--mode) and switched on
request:
    refuse          the hosts file alone, resolver 127.0.0.1: an unknown name fails at once and
                    no query leaves the machine (the sandbox's default)
    slow SECONDS    the hosts file, then this server, which answers every query (reverse lookups
                    among them) with "no such name" after that many seconds, each query on its
                    own so that they overlap, as a LAN's resolver answers for devices it does not
                    know
    silent          the hosts file, then this server, which never answers, as a resolver that is
                    down: each lookup costs the C library's full time-out (10 s)
A request is a file NAME.req in the control folder holding one line "MODE [SECONDS]"; once the
host namespace's resolv.conf and nsswitch.conf say so, it is renamed NAME.done. The files are
rewritten in place, so a namespace that already shows them sees the change; programs started
afterwards use it.
"""
import argparse
import os
import socket
import struct
import threading
import time


def no_such_name(query):
    """The answer NXDOMAIN to the query, its question copied; None for what is not a query."""
    if len(query) < 12:
        return None
    ident, flags, questions = struct.unpack(">HHH", query[:6])
    if flags & 0x8000 or questions != 1:
        return None
    end = 12
    while end < len(query) and query[end] != 0:
        end += 1 + query[end]
    end += 5  # the root label, type and class
    if end > len(query):
        return None
    # Response, recursion available (and desired when asked), rcode 3; the question, no records.
    header = struct.pack(">HHHHHH", ident, 0x8183 | (flags & 0x0100), 1, 0, 0, 0)
    return header + query[12:end]


class NameServer:
    def __init__(self, address, etc):
        self.address = address
        self.etc = etc
        self.delay = None  # None: never answer
        self.lock = threading.Lock()

    def use(self, words):
        mode = words[0] if words else "refuse"
        with open("/etc/nsswitch.conf") as f:
            others = [line for line in f if not line.startswith("hosts:")]
        if mode in ("slow", "silent"):
            server, hosts = self.address, "hosts: files dns\n"
        else:
            server, hosts = "127.0.0.1", "hosts: files\n"
        with self.lock:
            self.delay = float(words[1]) if mode == "slow" and len(words) > 1 else (2.0 if mode == "slow" else None)
        for name, text in (("resolv.conf", "nameserver %s\n" % server), ("nsswitch.conf", "".join(others) + hosts)):
            with open(os.path.join(self.etc, name), "w") as f:  # in place
                f.write(text)

    def serve(self, s):
        while True:
            query, source = s.recvfrom(4096)
            with self.lock:
                delay = self.delay
            answer = no_such_name(query)
            if delay is not None and answer is not None:
                threading.Timer(delay, s.sendto, (answer, source)).start()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--address", required=True, help="where to answer, in this namespace")
    parser.add_argument("--etc", required=True, help="the host namespace's /etc/netns/NAME")
    parser.add_argument("--control", required=True, help="folder of requests")
    parser.add_argument("--mode", default="refuse", help='"refuse", "slow SECONDS" or "silent"')
    args = parser.parse_args()
    server = NameServer(args.address, args.etc)
    if args.mode.split()[0] != "refuse":
        server.use(args.mode.split())
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind((args.address, 53))
    threading.Thread(target=server.serve, args=(s,), daemon=True).start()
    open(os.path.join(args.control, "ready"), "w").close()
    while True:
        for name in sorted(os.listdir(args.control)):
            if name.endswith(".req"):
                path = os.path.join(args.control, name)
                with open(path) as f:
                    server.use(f.read().split())
                os.rename(path, path[:-4] + ".done")
        time.sleep(0.05)


if __name__ == "__main__":
    main()
