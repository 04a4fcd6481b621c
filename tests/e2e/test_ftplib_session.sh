#!/usr/bin/env bash
# Python's ftplib runs a whole working session in passive and in active mode:
# folders and files made, moved, resumed and removed through the server,
# with Big5 names on the wire and UTF-8 names on the disk; it aborts a
# download midway and goes on; and twenty clients transfer at once.
set -u
. "$(dirname "$0")/e2e_lib.sh"
enter_private_network "$@"

serve_everything "$1"
export HOME_DIR
run_client ftplib 50 python3 - <<'PY'
import ftplib, io, os, sys, threading

home = os.environ["HOME_DIR"]
problems = []


def check(what, ok, detail=""):
    if not ok:
        problems.append(f"{what}: {detail}")


def fetch(ftp, name, rest=None):
    chunks = []
    ftp.retrbinary("RETR " + name, chunks.append, rest=rest)
    return b"".join(chunks)


def names_of(lines):
    # The long listing lines carry the name from byte 52 on.
    return sorted(line[52:] for line in lines)


def session(passive):
    mode = "passive" if passive else "active"
    # 許, 功 and 蓋 end in the byte of a backslash in Big5; PWD reports
    # ASCII letters in lower case.
    folder = f"許功蓋 {mode.title()}"
    local_folder = os.path.join(home, folder)
    ftp = ftplib.FTP(encoding="cp950", timeout=10)
    ftp.connect("127.0.0.1", 21)
    ftp.login("anonymous", "guest@")
    ftp.set_pasv(passive)

    ftp.mkd(f"{folder}/Sub")
    check(f"{mode} mkd", os.path.isdir(os.path.join(local_folder, "Sub")), "no UTF-8 folder on disk")
    ftp.cwd(folder)
    pwd = ftp.sendcmd("PWD")
    check(f"{mode} pwd", f'"/許功蓋 {mode}"。' in pwd, pwd)

    # In passive mode ftplib connects before RETR and lets go after the
    # refusal; the next reply must still answer the next command.
    try:
        fetch(ftp, "missing.bin")
        problems.append(f"{mode} retr of a missing file: no refusal")
    except ftplib.error_perm as refusal:
        check(f"{mode} missing", str(refusal) == "550 檔案不存在", refusal)
    noop = ftp.sendcmd("NOOP")
    check(f"{mode} after refusal", noop == "200 完成命令測試！", noop)

    data = os.urandom(300007)
    ftp.storbinary("STOR 報告.Bin", io.BytesIO(data))
    with open(os.path.join(local_folder, "報告.Bin"), "rb") as stored:
        check(f"{mode} stor", stored.read() == data, "bytes on disk differ")
    check(f"{mode} retr", fetch(ftp, "報告.Bin") == data, "downloaded bytes differ")
    check(f"{mode} size", ftp.size("報告.BIN") == len(data), "SIZE of the name in another case")
    check(f"{mode} retr rest", fetch(ftp, "報告.Bin", rest=100000) == data[100000:], "tail differs")

    tail = b"resumed tail"
    ftp.storbinary("STOR 報告.Bin", io.BytesIO(tail), rest=5000)
    check(f"{mode} stor rest", fetch(ftp, "報告.Bin") == data[:5000] + tail, "file not cut and appended")

    ftp.storbinary("STOR empty.txt", io.BytesIO(b""))
    check(f"{mode} empty", fetch(ftp, "empty.txt") == b"", "empty file not empty")

    lines = []
    ftp.dir(lines.append)
    check(f"{mode} dir", names_of(lines) == sorted(["Sub", "empty.txt", "報告.Bin"]), lines)
    check(f"{mode} nlst", names_of(ftp.nlst()) == names_of(lines), "NLST differs from LIST")

    ftp.rename("報告.Bin", "Sub/改名.bin")
    check(f"{mode} rename", os.path.isfile(os.path.join(local_folder, "Sub", "改名.bin")), "not moved")
    ftp.delete("Sub/改名.bin")
    ftp.delete("EMPTY.TXT")
    ftp.rmd("sub")
    ftp.cwd("..")
    ftp.rmd(folder)
    check(f"{mode} cleanup", not os.path.exists(local_folder), os.listdir(home))

    bye = ftp.quit()
    check(f"{mode} quit", bye == "220 再見！", bye)


def abort_download():
    # Far more than the socket buffers hold, so the transfer is still running
    # when ABOR arrives behind the Telnet interrupt and urgent data.
    with open(os.path.join(home, "large.bin"), "wb") as large:
        large.write(os.urandom(32 << 20))
    ftp = ftplib.FTP(encoding="cp950", timeout=10)
    ftp.connect("127.0.0.1", 21)
    ftp.login("anonymous", "guest@")
    with ftp.transfercmd("RETR large.bin") as data:
        data.recv(10000)
        aborted = ftp.abort()
    check("abort", aborted == "426 結束資料連線", aborted)
    after = ftp.voidresp()
    check("abort end", after == "226 完成 ABOR 命令", after)
    check("abort next command", ftp.voidcmd("NOOP") == "200 完成命令測試！", "no NOOP reply")
    ftp.quit()


def busy_client(number, failures):
    # Sessions run on threads of their own; these move distinct files at
    # the same time, half of them in active mode.
    try:
        ftp = ftplib.FTP(encoding="cp950", timeout=10)
        ftp.connect("127.0.0.1", 21)
        ftp.login("anonymous", "guest@")
        ftp.set_pasv(number % 2 == 0)
        data = os.urandom(200000 + number)
        for round in range(5):
            name = f"檔{number}_{round}.bin"
            ftp.storbinary("STOR " + name, io.BytesIO(data))
            if fetch(ftp, name) != data:
                failures.append(f"client {number}: {name} came back different")
            ftp.delete(name)
        ftp.quit()
    except ftplib.all_errors as error:
        failures.append(f"client {number}: {error!r}")


def many_clients():
    failures = []
    clients = [threading.Thread(target=busy_client, args=(n, failures)) for n in range(20)]
    for client in clients:
        client.start()
    for client in clients:
        client.join(40)
    problems.extend(failures)
    check("many clients", not any(client.is_alive() for client in clients), "a client hung")


many_clients()
try:
    abort_download()
except ftplib.all_errors as error:
    problems.append(f"abort: {error!r}")
for passive in (True, False):
    try:
        session(passive)
    except ftplib.all_errors as error:
        problems.append(f"{'passive' if passive else 'active'} session: {error!r}")

for problem in problems:
    print(problem, file=sys.stderr)
sys.exit(1 if problems else 0)
PY

program_alive || fail "the program ended while serving"
echo "PASS"
