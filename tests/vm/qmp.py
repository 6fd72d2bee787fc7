#!/usr/bin/env python3
"""Plugs and unplugs the guest's emulated FTDI bridges through QEMU's QMP socket.

Usage: qmp.py SOCKET unplug ID
       qmp.py SOCKET plug ID SERIAL CHARDEV PORT

unplug returns once QEMU reports the device deleted (the guest has let go of it); plug once QEMU
has added it. Exit 0 on success, 1 with QEMU's reason on stderr.
"""
import json
import socket
import sys
import time

LIMIT_S = 30


class Qmp:
    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.settimeout(LIMIT_S)
        self.sock.connect(path)
        self.file = self.sock.makefile("r")
        self.events = []
        self.read()  # greeting
        self.call("qmp_capabilities")

    def read(self):
        line = self.file.readline()
        if not line:
            raise RuntimeError("QEMU closed its QMP socket")
        return json.loads(line)

    def call(self, command, **arguments):
        self.sock.sendall(json.dumps({"execute": command, "arguments": arguments}).encode() + b"\n")
        while True:
            reply = self.read()
            if "event" in reply:
                self.events.append(reply)
            elif "error" in reply:
                raise RuntimeError(reply["error"].get("desc", str(reply)))
            else:
                return reply.get("return")

    def wait_event(self, name, device):
        end = time.monotonic() + LIMIT_S
        while time.monotonic() < end:
            for e in self.events:
                if e["event"] == name and e.get("data", {}).get("device") == device:
                    return
            self.events.append(self.read())
        raise RuntimeError(f"no {name} for {device} within {LIMIT_S} s")


def main(argv):
    if len(argv) < 4 or argv[2] not in ("plug", "unplug"):
        print(__doc__, file=sys.stderr)
        return 2
    qmp = Qmp(argv[1])
    if argv[2] == "unplug":
        qmp.call("device_del", id=argv[3])
        qmp.wait_event("DEVICE_DELETED", argv[3])
    else:
        device, serial, chardev, port = argv[3:7]
        qmp.call("device_add", driver="usb-serial", id=device, bus="xhci.0", port=port,
                 chardev=chardev, serial=serial)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except (OSError, RuntimeError, ValueError) as error:
        print(f"qmp: {error}", file=sys.stderr)
        sys.exit(1)
