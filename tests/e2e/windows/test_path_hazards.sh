#!/usr/bin/env bash
# Every way out of the shared folder that Windows adds, sent by a real client
# to the real program with every right: drive letters and drive-relative
# names, UNC and \\?\ prefixes, alternate data streams, device names (also
# with an extension), trailing dots and blanks, 8.3 short names, and links
# out of the folder. Each gets the exact reply a path outside the folder
# gets, and nothing outside the folder, nor any odd name inside it, is made.
set -u
. "$(dirname "$0")/../e2e_lib.sh"
enter_private_network "$@"

serve_everything "$1"
printf 'hello\n' >"$HOME_DIR/hello.txt"
mkdir "$HOME_DIR/sub" "$HOME_DIR/Program Files Here"
printf 'long\n' >"$HOME_DIR/longfilename_example.txt"
ln -s /etc "$HOME_DIR/etc_link"
ln -s /etc/hostname "$HOME_DIR/host_link"
# A link inside the folder to a file inside it: deleting it must not take
# the file with it.
ln -s hello.txt "$HOME_DIR/hello_link"
before=$(cd "$HOME_DIR" && find . | sort)

timeout 60 python3 - "$(dirname "$0")/path_hazards.txt" <<'PY' || fail "a way out was not refused as expected"
import ftplib, io, sys

def big5(text):
    return text.encode("cp950").decode("latin-1")

REPLIES = {
    "denied": big5("550 權限不足"),
    "no-dir": big5("550 目錄不存在"),
    "no-file": big5("550 檔案不存在"),
    "rnfr": big5("350 找到檔案，可以重新命名。"),
    "not-deleted": big5("450 刪除檔案發生內部錯誤：\"hello_link\"！ "),
}
ftp = ftplib.FTP(encoding="latin-1", timeout=10)
ftp.connect("127.0.0.1", 21)
ftp.login("anonymous", "hazards@")
wrong = 0
for line in open(sys.argv[1], encoding="utf-8"):
    if not line.strip() or line.startswith("#"):
        continue
    expected, command = line.rstrip("\n").split("\t")
    try:
        if command.startswith("STOR "):
            reply = ftp.storbinary(big5(command), io.BytesIO(b"out\n"))
        else:
            reply = ftp.sendcmd(big5(command))
    except ftplib.Error as error:
        reply = str(error)
    if reply != REPLIES[expected]:
        wrong += 1
        print(f"{command!r}: got {reply.encode('latin-1')!r}, want {REPLIES[expected].encode('latin-1')!r}",
              file=sys.stderr)
ftp.quit()
sys.exit(1 if wrong else 0)
PY

after=$(cd "$HOME_DIR" && find . | sort)
[ "$before" = "$after" ] || { diff <(echo "$before") <(echo "$after") >&2; fail "the folder changed"; }
[ "$(cat "$HOME_DIR/hello.txt")" = hello ] || fail "hello.txt changed"
program_alive || fail "the program ended"
echo "PASS"
