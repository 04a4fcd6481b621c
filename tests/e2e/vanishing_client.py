#!/usr/bin/env python3
"""One FTP client for the vanished-client test, on 127.0.0.1 port 21.

  download FILE  logs in, starts RETR FILE in passive mode, reads 1 MiB of it
  idle           logs in and does nothing more
  stall FILE     as download, but never reads, and waits for the final reply

Each prints "ports CONTROL [DATA]" (its own ends) once it is where the test
wants it; the test then cuts those ports off so that the client vanishes
without a FIN or RST. stall prints "final SECONDS REPLY" when the server
gives up on the transfer, then "alive" if the control connection still
answers. Every wait is bounded by --deadline.
"""
import argparse
import ftplib
import sys
import time


def login(deadline):
    ftp = ftplib.FTP(timeout=deadline, encoding="latin-1")
    ftp.connect("127.0.0.1", 21)
    ftp.login("anonymous", "test@")
    return ftp


def say(*words):
    print(*words, flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=["download", "idle", "stall"])
    parser.add_argument("file", nargs="?")
    parser.add_argument("--deadline", type=float, default=600)
    options = parser.parse_args()

    ftp = login(options.deadline)
    control = ftp.sock.getsockname()[1]
    if options.mode == "idle":
        say("ports", control)
        time.sleep(options.deadline)
        return 0

    ftp.voidcmd("TYPE I")
    data = ftp.transfercmd("RETR " + options.file)
    if options.mode == "download":
        received = 0
        while received < 1 << 20:
            chunk = data.recv(65536)
            if not chunk:
                say("FAIL the download ended after", received, "bytes")
                return 1
            received += len(chunk)
        say("ports", control, data.getsockname()[1])
        time.sleep(options.deadline)
        return 0

    # A client that stops reading: its window closes and stays shut.
    say("ports", control, data.getsockname()[1])
    started = time.monotonic()
    try:
        reply = ftp.getline()
    except Exception as error:  # the deadline, or the server closing
        say("FAIL no final reply:", repr(error))
        return 1
    say("final", round(time.monotonic() - started), reply)
    data.close()
    ftp.voidcmd("NOOP")
    say("alive")
    ftp.quit()
    return 0


if __name__ == "__main__":
    sys.exit(main())
