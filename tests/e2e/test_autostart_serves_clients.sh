#!/usr/bin/env bash
# With AutoStart 1 the program listens on port 21 as soon as its window is up,
# and real clients get the greeting, log in and run commands.
set -u
. "$(dirname "$0")/e2e_lib.sh"
enter_private_network "$@"
PROGRAM=$1

make_settings 1
start_program "$PROGRAM"
wait_until 10 listening_on_21 || { cat "$WORK/program.log"; fail "nothing listens on port 21 after 10 s"; }

# Python's client: every reply compared as code page 950 bytes.
timeout 20 python3 - <<'PY' || fail "ftplib session"
import ftplib, sys

def big5(text):
    return text.encode("cp950").decode("latin-1")

ftp = ftplib.FTP(encoding="latin-1", timeout=5)
welcome = ftp.connect("127.0.0.1", 21)
expected = {
    "greeting": (welcome, big5("220 歡迎使用 Vandrel Tessel FTP Server")),
    "login": (ftp.login("anonymous", "guest@"), big5("230 使用者登入成功！")),
    "noop": (ftp.sendcmd("NOOP"), big5("200 完成命令測試！")),
    "quit": (ftp.sendcmd("QUIT"), big5("220 再見！")),
}
bad = [name for name, (got, want) in expected.items() if got != want]
for name in bad:
    got, want = expected[name]
    print(f"{name}: got {got.encode('latin-1')!r}, want {want.encode('latin-1')!r}", file=sys.stderr)
sys.exit(1 if bad else 0)
PY

# curl logs in and sends NOOP before its transfer; the replies up to there
# are what this test asks of it.
curl_log="$WORK/curl.log"
timeout 20 curl -sv --max-time 10 -Q NOOP --list-only ftp://127.0.0.1/ >"$WORK/curl.out" 2>"$curl_log"
for reply in '< 220 ' '< 331 ' '< 230 ' '< 200 '; do
    grep -q "^$reply" "$curl_log" || { cat "$curl_log"; fail "curl saw no '$reply' reply"; }
done

program_alive || fail "the program ended while serving"
echo "PASS"
