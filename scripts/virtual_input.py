#!/usr/bin/python3
"""Writes input reports to a virtual trackball of obxkernd (its virtual-NN.in socket).

Commands run in order; the buttons pressed stay held for the commands that follow:
  press N        press button N (1-8)
  release N      release button N
  click N        press and release button N
  move DX DY     move the ball (each -128..127)
  wheel N        turn the wheel N notches (-128..127)
  pan N          push the pan control (-128..127); send "pan 0" to let it go
  raw HEX        send these bytes as they are (for trackballs with a descriptor of their own)
Without commands, they are read from standard input, one per line.
"""

import argparse
import os
import socket
import sys


def signed_byte(text):
    value = int(text, 0)
    if not -128 <= value <= 127:
        raise ValueError(f"{text} is outside -128..127")
    return value & 0xFF


def button_bit(text):
    number = int(text, 0)
    if not 1 <= number <= 8:
        raise ValueError(f"button {text} is outside 1..8")
    return 1 << (number - 1)


class Trackball:
    def __init__(self, path):
        self.socket = socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET)
        self.socket.connect(path)
        self.buttons = 0

    def report(self, x=0, y=0, wheel=0, pan=0):
        self.socket.send(bytes([self.buttons, x, y, wheel, pan]))

    def run(self, words):
        """Runs the commands in `words`; returns the words left over from an incomplete command."""
        arity = {"press": 1, "release": 1, "click": 1, "move": 2, "wheel": 1, "pan": 1, "raw": 1}
        while words:
            command = words[0]
            if command not in arity:
                raise ValueError(f"unknown command {command}")
            args = words[1 : 1 + arity[command]]
            if len(args) < arity[command]:
                raise ValueError(f"{command} needs {arity[command]} value(s)")
            words = words[1 + arity[command] :]
            if command == "press":
                self.buttons |= button_bit(args[0])
                self.report()
            elif command == "release":
                self.buttons &= ~button_bit(args[0])
                self.report()
            elif command == "click":
                self.run(["press", args[0], "release", args[0]])
            elif command == "move":
                self.report(x=signed_byte(args[0]), y=signed_byte(args[1]))
            elif command == "wheel":
                self.report(wheel=signed_byte(args[0]))
            elif command == "pan":
                self.report(pan=signed_byte(args[0]))
            else:
                self.socket.send(bytes.fromhex(args[0]))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runtime-dir", default=os.environ.get("OBX_RUNTIME_DIR") or "/run/obxkern")
    parser.add_argument("--instance", type=int, default=1, help="the trackball's number NN (default 1)")
    parser.add_argument("commands", nargs="*")
    options = parser.parse_args()
    path = os.path.join(options.runtime_dir, f"virtual-{options.instance:02d}.in")
    try:
        trackball = Trackball(path)
        if options.commands:
            trackball.run(options.commands)
        else:
            for line in sys.stdin:
                trackball.run(line.split())
    except (OSError, ValueError) as error:
        print(f"virtual_input: {path}: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
