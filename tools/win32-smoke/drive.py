#!/usr/bin/env python3
"""Drives tessel-smoke.exe (under Wine) from outside as an FTP client.

drive.py <port> <root as Linux sees it> [command... | @file]: logs in anonymously,
lists, moves a large file both ways, resumes, uses a Big5 name, then sends
each command given (hazards.txt holds every way out of the root that Windows
adds; RNFR is expected to be answered 350) and prints the reply each gets.
Exits non-zero when a transfer is wrong or a way out is not refused with 550.
The root needs big.bin and 許功蓋.txt; hazards.txt expects hello.txt, sub/,
a link etc_link to /etc, a link host_link to /etc/hostname, and the short
names Wine gives longfilename_example.txt and "Program Files Here".
"""
import ftplib
import hashlib
import io
import os
import sys

ENCODING = "cp950"


def reply_of(ftp, command):
    try:
        return ftp.sendcmd(command)
    except ftplib.Error as error:
        return str(error)


def sha256_of_retr(ftp, name, rest=None):
    digest = hashlib.sha256()
    ftp.retrbinary("RETR " + name, digest.update, rest=rest)
    return digest.hexdigest()


def main():
    port = int(sys.argv[1])
    root = sys.argv[2]
    failures = []
    ftp = ftplib.FTP(encoding=ENCODING)
    ftp.connect("127.0.0.1", port, timeout=30)
    print("greeting:", ftp.getwelcome())
    print("login:", ftp.login("anonymous", "smoke@"))
    print("LIST:", *ftp.nlst(), sep="\n  ")

    with open(os.path.join(root, "big.bin"), "rb") as local:
        expected = hashlib.sha256(local.read()).hexdigest()
    got = sha256_of_retr(ftp, "big.bin")
    print("RETR big.bin sha256", got, "ok" if got == expected else "WRONG")
    if got != expected:
        failures.append("RETR big.bin")

    payload = os.urandom(3 * 1024 * 1024 + 17)
    print("STOR up.bin:", ftp.storbinary("STOR up.bin", io.BytesIO(payload)))
    with open(os.path.join(root, "up.bin"), "rb") as local:
        stored = local.read()
    print("STOR up.bin intact:", stored == payload)
    if stored != payload:
        failures.append("STOR up.bin")

    offset = 1000000
    with open(os.path.join(root, "big.bin"), "rb") as local:
        local.seek(offset)
        expected_tail = hashlib.sha256(local.read()).hexdigest()
    got_tail = sha256_of_retr(ftp, "big.bin", rest=offset)
    print("REST %d + RETR big.bin:" % offset, "ok" if got_tail == expected_tail else "WRONG")
    if got_tail != expected_tail:
        failures.append("REST")

    big5_name = "許功蓋.txt"
    blocks = []
    ftp.retrbinary("RETR " + big5_name, blocks.append)
    with open(os.path.join(root, big5_name), "rb") as local:
        same = local.read() == b"".join(blocks)
    print("RETR", big5_name, "intact:", same)
    if not same:
        failures.append("RETR " + big5_name)
    print("STOR 中文名.txt:", ftp.storbinary("STOR 中文名.txt", io.BytesIO("兀許".encode(ENCODING))))
    print("  on disk:", os.path.exists(os.path.join(root, "中文名.txt")))
    print("MKD 分享目錄:", reply_of(ftp, "MKD 分享目錄"), "| CWD:", reply_of(ftp, "CWD 分享目錄"),
          "| PWD:", reply_of(ftp, "PWD"), "| CDUP:", reply_of(ftp, "CDUP"))

    hazards = []
    for argument in sys.argv[3:]:
        if argument.startswith("@"):
            with open(argument[1:], encoding="utf-8") as listed:
                hazards += [line.rstrip("\n") for line in listed if line.strip()]
        else:
            hazards.append(argument)
    for line in hazards:
        command = line
        reply = reply_of(ftp, command) if not command.startswith("RETR ") and not command.startswith("STOR ") \
            else transfer_reply(ftp, command)
        print("HAZARD %-40s -> %s" % (command, reply))
        expected = "350" if command.startswith("RNFR ") else "550"
        if not reply.startswith(expected):
            failures.append(command)
    print("QUIT:", ftp.quit())
    print("FAILURES:", failures if failures else "none")
    return 1 if failures else 0


def transfer_reply(ftp, command):
    try:
        if command.startswith("RETR "):
            ftp.retrbinary(command, lambda block: None)
        else:
            ftp.storbinary(command, io.BytesIO(b"x"))
        return "transferred"
    except ftplib.Error as error:
        return str(error)


if __name__ == "__main__":
    sys.exit(main())
