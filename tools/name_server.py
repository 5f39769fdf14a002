#!/usr/bin/env python3
"""The sandbox LAN's name server, run by tools/sandbox in the peer namespace.

Four ways for names to resolve in the host namespace, chosen at start (--mode) and switched on
request:
    refuse          the hosts file alone, resolver 127.0.0.1: an unknown name fails at once and
                    no query leaves the machine (the sandbox's default)
    answer          the hosts file, then this server, which answers at once: the names it knows
                    (--known NAME=ADDRESS, as a LAN's server knows its computers, asleep or not)
                    with their address, every other query with "no such name"
    slow SECONDS    as answer, each reply after that many seconds, each query on its own so that
                    they overlap, as a slow LAN's resolver
    silent          the hosts file, then this server, which never answers, as a resolver that is
                    down: each lookup costs the C library's full time-out (10 s)
Every question asked is appended to queries.log in the control folder ("TIME NAME", seconds since
1970), so that a test knows a lookup is under way even when no answer comes.
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


def question(query):
    """The query's name (lower case) and the end of its question; None for what is not a query."""
    if len(query) < 12:
        return None
    flags, questions = struct.unpack(">HH", query[2:6])
    if flags & 0x8000 or questions != 1:
        return None
    end = 12
    labels = []
    while end < len(query) and query[end] != 0:
        labels.append(query[end + 1:end + 1 + query[end]].decode("ascii", "replace"))
        end += 1 + query[end]
    end += 5  # the root label, type and class
    if end > len(query):
        return None
    return ".".join(labels).lower(), end


def reply(query, known):
    """The reply to the query, its question copied: the address of a known name asked for its
    IPv4 address, no record for a known name's other types, "no such name" (NXDOMAIN)
    otherwise; None for what is not a query."""
    asked = question(query)
    if asked is None:
        return None
    name, end = asked
    ident, flags = struct.unpack(">HH", query[:4])
    qtype = struct.unpack(">H", query[end - 4:end - 2])[0]
    address = known.get(name)
    # Response, recursion available (and desired when asked); the question, then the answer.
    rflags = 0x8180 | (flags & 0x0100) | (0 if address else 3)
    answers = b""
    if address and qtype == 1:
        answers = struct.pack(">HHHIH", 0xC00C, 1, 1, 60, 4) + socket.inet_aton(address)
    header = struct.pack(">HHHHHH", ident, rflags, 1, 1 if answers else 0, 0, 0)
    return header + query[12:end] + answers


class NameServer:
    def __init__(self, address, etc, known, log):
        self.address = address
        self.log = log
        self.etc = etc
        self.known = known
        self.delay = None  # None: never answer
        self.lock = threading.Lock()

    def use(self, words):
        mode = words[0] if words else "refuse"
        with open("/etc/nsswitch.conf") as f:
            others = [line for line in f if not line.startswith("hosts:")]
        if mode in ("answer", "slow", "silent"):
            server, hosts = self.address, "hosts: files dns\n"
        else:
            server, hosts = "127.0.0.1", "hosts: files\n"
        with self.lock:
            if mode == "slow":
                self.delay = float(words[1]) if len(words) > 1 else 2.0
            else:
                self.delay = 0.0 if mode == "answer" else None
        for name, text in (("resolv.conf", "nameserver %s\n" % server), ("nsswitch.conf", "".join(others) + hosts)):
            with open(os.path.join(self.etc, name), "w") as f:  # in place
                f.write(text)

    def serve(self, s):
        while True:
            query, source = s.recvfrom(4096)
            asked = question(query)
            if asked is not None:
                with open(self.log, "a") as f:
                    f.write("%.3f %s\n" % (time.time(), asked[0]))
            with self.lock:
                delay = self.delay
            answer = reply(query, self.known)
            if delay == 0.0 and answer is not None:
                s.sendto(answer, source)
            elif delay is not None and answer is not None:
                threading.Timer(delay, s.sendto, (answer, source)).start()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--address", required=True, help="where to answer, in this namespace")
    parser.add_argument("--etc", required=True, help="the host namespace's /etc/netns/NAME")
    parser.add_argument("--control", required=True, help="folder of requests")
    parser.add_argument("--mode", default="refuse", help='"refuse", "answer", "slow SECONDS" or "silent"')
    parser.add_argument("--known", action="append", default=[], help="NAME=ADDRESS the server knows")
    args = parser.parse_args()
    known = dict(entry.lower().split("=", 1) for entry in args.known)
    server = NameServer(args.address, args.etc, known, os.path.join(args.control, "queries.log"))
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
