#!/usr/bin/env bash
# Two visitors download one file at the same time and both get it whole;
# while a download of it is open, an upload onto it is refused and the file
# stays as it was; once the downloads end, the upload goes through.
set -u
. "$(dirname "$0")/e2e_lib.sh"
enter_private_network "$@"

serve_everything "$1"
random_file "$HOME_DIR/Shared.bin" 8388611
cp "$HOME_DIR/Shared.bin" "$WORK/original.bin"

timeout 60 python3 - "$WORK/original.bin" <<'PY' || fail "sharing one file"
import ftplib, io, sys

def big5(text):
    return text.encode("cp950").decode("latin-1")

original = open(sys.argv[1], "rb").read()
problems = []

def visitor():
    ftp = ftplib.FTP(encoding="latin-1", timeout=10)
    ftp.connect("127.0.0.1", 21)
    ftp.login("anonymous", "visitor@")
    ftp.voidcmd("TYPE I")
    return ftp

first, second, uploader = visitor(), visitor(), visitor()
# Both downloads open before either has read more than a little.
one = first.transfercmd("RETR Shared.bin")
two = second.transfercmd("RETR Shared.bin")
got_one, got_two = [one.recv(65536)], [two.recv(65536)]

try:
    uploader.storbinary("STOR Shared.bin", io.BytesIO(b"overwritten"))
    problems.append("an upload onto a file being downloaded was accepted")
except ftplib.error_temp as error:
    if str(error) != big5("450 檔案無法存取"):
        problems.append(f"upload refused with {str(error).encode('latin-1')!r}")

for connection, chunks in ((one, got_one), (two, got_two)):
    while True:
        block = connection.recv(1 << 20)
        if not block:
            break
        chunks.append(block)
    connection.close()
for name, ftp, chunks in (("first", first, got_one), ("second", second, got_two)):
    reply = ftp.voidresp()
    if b"".join(chunks) != original:
        problems.append(f"the {name} visitor's copy differs")
    if reply != big5("226 傳送完成"):
        problems.append(f"the {name} download ended with {reply.encode('latin-1')!r}")

uploader.storbinary("STOR Shared.bin", io.BytesIO(b"replaced"))
for ftp in (first, second, uploader):
    ftp.quit()
for problem in problems:
    print(problem, file=sys.stderr)
sys.exit(1 if problems else 0)
PY

[ "$(cat "$HOME_DIR/Shared.bin")" = replaced ] || fail "the upload after the downloads did not go through"
program_alive || fail "the program ended"
echo "PASS"
