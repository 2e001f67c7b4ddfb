#!/usr/bin/env python3
"""A client of the console's control port for tests/control_port_e2e.sh.

Every line it prints starts with the wall-clock time in ms (the clock of bash's
EPOCHREALTIME), then what happened:
    <ms> sent <line>      a line went to the console
    <ms> got <answer>     the console's answer to it
    <ms> closed           the console closed the connection
Usage:
    control_client.py PORT lines LINE...
        sends each line, waits for its answer; then closes.
    control_client.py PORT hold BUTTON SECONDS [EVERY]
        press BUTTON, the press again every EVERY seconds (default 0.3) to keep the hold
        alive, and release BUTTON SECONDS after the first press. With SECONDS 0 the hold
        goes on until the process is killed or the console closes the connection.
    control_client.py PORT silent BUTTON SECONDS
        press BUTTON, then nothing for SECONDS while connected; then status.
    control_client.py PORT wait SECONDS
        waits up to SECONDS for the port to take a connection; status 1 when it never did.
"""
import socket
import sys
import time


def now_ms():
    return "%.1f" % (time.time() * 1000)


def say(*words):
    print(now_ms(), *words, flush=True)


class Closed(Exception):
    pass


class Client:
    def __init__(self, port, timeout=5.0):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.pending = b""

    def answer(self):
        while b"\n" not in self.pending:
            try:
                data = self.sock.recv(4096)
            except socket.timeout:
                raise
            except OSError:  # reset by the console's end
                data = b""
            if not data:
                say("closed")
                raise Closed()
            self.pending += data
        line, self.pending = self.pending.split(b"\n", 1)
        text = line.decode("ascii", "replace").rstrip("\r")
        say("got", text)
        return text

    def send(self, line):
        say("sent", line)
        try:
            self.sock.sendall(line.encode("ascii") + b"\n")
        except OSError:
            say("closed")
            raise Closed()
        return self.answer()

    def wait_closed(self, seconds):
        """Waits up to the seconds, sending nothing, for the console to close the connection."""
        if seconds <= 0:
            return  # a timeout of 0 would make the socket non-blocking, not wait
        self.sock.settimeout(seconds)
        try:
            data = self.sock.recv(4096)
            if not data:
                say("closed")
                raise Closed()
            self.pending += data  # a line nobody asked for: the next answer() reads it
        except socket.timeout:
            pass
        except OSError:  # reset by the console's end
            say("closed")
            raise Closed()
        finally:
            self.sock.settimeout(5.0)


def hold(client, button, seconds, every):
    first = time.monotonic()
    client.send("press " + button)
    presses = 1
    while seconds == 0 or time.monotonic() - first < seconds:
        due = first + presses * every
        if seconds:
            due = min(due, first + seconds)
        client.wait_closed(max(0.0, due - time.monotonic()))
        if seconds and time.monotonic() - first >= seconds:
            break
        client.send("press " + button)
        presses += 1
    client.send("release " + button)


def main(argv):
    port, command, args = int(argv[1]), argv[2], argv[3:]
    if command == "wait":
        deadline = time.monotonic() + float(args[0])
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1.0).close()
                return 0
            except OSError:
                time.sleep(0.1)
        return 1
    client = Client(port)
    try:
        if command == "lines":
            for line in args:
                client.send(line)
        elif command == "hold":
            every = float(args[2]) if len(args) > 2 else 0.3
            hold(client, args[0], float(args[1]), every)
        elif command == "silent":
            client.send("press " + args[0])
            client.wait_closed(float(args[1]))
            client.send("status")
        else:
            print("control_client: unknown command " + command, file=sys.stderr)
            return 2
    except Closed:
        return 0
    client.sock.close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
