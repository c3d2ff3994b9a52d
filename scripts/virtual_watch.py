#!/usr/bin/python3
"""Prints the mouse packets of a virtual trackball of obxkernd (its virtual-NN.out socket), one a line."""

import argparse
import os
import socket
import sys


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--runtime-dir", default=os.environ.get("OBX_RUNTIME_DIR") or "/run/obxkern")
    parser.add_argument("--instance", type=int, default=1, help="the trackball's number NN (default 1)")
    parser.add_argument("--count", type=int, default=0, help="stop after this many packets (default: never)")
    options = parser.parse_args()
    path = os.path.join(options.runtime_dir, f"virtual-{options.instance:02d}.out")
    try:
        reader = socket.socket(socket.AF_UNIX, socket.SOCK_SEQPACKET)
        reader.connect(path)
        # Tells a caller that waits for it that packets from now on will be printed.
        print(f"watching {path}", file=sys.stderr, flush=True)
        printed = 0
        while options.count == 0 or printed < options.count:
            packet = reader.recv(256)
            if not packet:
                print("virtual_watch: the daemon closed the socket", file=sys.stderr)
                return 1
            print(packet.decode("ascii", "replace"), flush=True)
            printed += 1
    except OSError as error:
        print(f"virtual_watch: {path}: {error}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
