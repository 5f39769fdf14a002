#!/usr/bin/env python3
"""Key presses and mouse actions through the X server, as a user makes them; run by tools/sandbox
on the sandbox's display.

A file NAME.keys dropped into the requests folder holds the caption of a visible window on its
first line, then one action a line:
    key NAME...          xdotool key names, pressed one after another: Down, shift+F10, ctrl+b
    type TEXT            the text, typed character by character
    mousemove X Y        the pointer to screen pixel X, Y
    mousedown BUTTON     a button (1 = left) pressed ...
    mouseup BUTTON       ... and released
    doubleclick BUTTON   a double click where the pointer is, in the system's double-click time
The agent gives that window the X focus, carries out the actions in order and renames the
request NAME.done, holding "ok" or what failed. Which Wine window is active (and so gets the
keys) is Windows' business: without a window manager the X focus does not change it.
"""
import argparse
import os
import re
import subprocess
import time

NAME = re.compile(r"^[A-Za-z0-9_+]+$")
NUMBER = re.compile(r"^[0-9]{1,5}$")


def xdotool(*args, timeout=10):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True, timeout=timeout)


def find_window(caption):
    # xdotool takes a regular expression: every character that is not a letter, digit or blank
    # stands for itself.
    pattern = "^" + "".join(c if c.isalnum() or c == " " else "\\" + c for c in caption) + "$"
    end = time.monotonic() + 5
    while True:
        found = xdotool("search", "--onlyvisible", "--name", pattern).stdout.split()
        if found:
            return found[0]
        if time.monotonic() > end:
            return None
        time.sleep(0.05)


def action(line):
    """The xdotool arguments for one line, or None when the line is not one of the actions."""
    verb, _, rest = line.partition(" ")
    words = rest.split()
    if verb == "key" and words and all(NAME.match(w) for w in words):
        return ["key", *words]
    if verb == "type" and rest:
        return ["type", "--", rest]
    if verb == "mousemove" and len(words) == 2 and all(NUMBER.match(w) for w in words):
        return ["mousemove", "--sync", *words]
    if verb in ("mousedown", "mouseup") and len(words) == 1 and words[0] in ("1", "2", "3"):
        return [verb, words[0]]
    if verb == "doubleclick" and len(words) == 1 and words[0] in ("1", "2", "3"):
        # One xdotool run, 50 ms apart: well inside the 500 ms a double click may take.
        return ["click", "--repeat", "2", "--delay", "50", words[0]]
    return None


def carry_out(path):
    with open(path, encoding="utf-8") as f:
        lines = [line.rstrip("\r") for line in f.read().split("\n")]
    caption, actions = lines[0], [line for line in lines[1:] if line]
    window = find_window(caption)
    if window is None:
        return f"no visible window '{caption}'"
    result = xdotool("windowfocus", "--sync", window)
    if result.returncode != 0:
        return f"windowfocus {window}: {result.stderr.strip()}"
    for line in actions:
        args = action(line)
        if args is None:
            return f"not an action: {line}"
        result = xdotool(*args)
        if result.returncode != 0:
            return f"{line}: {result.stderr.strip()}"
    return "ok"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--requests", required=True)
    args = parser.parse_args()
    while True:
        for name in sorted(os.listdir(args.requests)):
            if not name.endswith(".keys"):
                continue
            path = os.path.join(args.requests, name)
            try:
                outcome = carry_out(path)
            except Exception as error:  # the test reads what went wrong
                outcome = f"failed: {error}"
            with open(path, "w", encoding="utf-8") as f:
                f.write(outcome + "\n")
            os.rename(path, path[: -len(".keys")] + ".done")
        time.sleep(0.02)


if __name__ == "__main__":
    main()
