#!/usr/bin/env bash
# What one small download costs the program: it serves 1,000 files of 4 KiB to
# one client over one session, from a tmpfs, in a private network namespace,
# while strace counts the system calls of all its threads; the program's user
# and system CPU time come from /proc. Per file: calls by name, wake-ups
# (returns of the waits), and the kernel's share of the CPU.
#   tools/profile-small-files.sh BUILD_DIR      (root; needs the benchmarks built)
set -euo pipefail

build=$(realpath "${1:-build}")
if [ -z "${TESSEL_PROFILE_INSIDE:-}" ]; then
    [ "$(id -u)" -eq 0 ] || { echo "needs root for its network namespace" >&2; exit 1; }
    exec env TESSEL_PROFILE_INSIDE=1 unshare --net --mount --propagation private "$0" "$build"
fi
ip link set lo up
work=$(mktemp -d /tmp/tessel-profile.XXXXXX)
mount -t tmpfs tessel-profile "$work"
program_pid=""
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null && wait "$program_pid" 2>/dev/null
    umount "$work"
    rmdir "$work"
}
trap cleanup EXIT

files=1000
mkdir -p "$work/root/small" "$work/xdg/Quorvane, Inc."
"$build/bench/ftp_bench" make-files --dir "$work/root/small" --prefix s --count $files --size 4096
printf '[TesselFTPSettings]\nHomeDirectory=%s\nAllowDownload=1\nAutoStart=1\n' "$work/root" \
    >"$work/xdg/Quorvane, Inc./tessel-ftp.conf"
QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/xdg" "$build/tessel-ftp" >/dev/null 2>&1 &
program_pid=$!
for _ in $(seq 50); do ss -ltn | grep -q ':21 ' && break; sleep 0.1; done

# utime and stime, in clock ticks, of the whole process.
cpu_ticks() { awk '{print $14, $15}' "/proc/$program_pid/stat"; }

download() {
    "$build/bench/ftp_bench" small --port 21 --name files_4k --dir /small --count $files --size 4096
}

# First untraced, for the CPU time; then under strace, for the calls.
read -r user_before system_before < <(cpu_ticks)
download
read -r user_after system_after < <(cpu_ticks)
strace -f -c -o "$work/calls" -p "$program_pid" &
tracer=$!
sleep 1
download >/dev/null
sleep 0.5
kill -INT $tracer
wait $tracer 2>/dev/null || true

echo "per file, all threads of the program ($files files):"
awk -v files=$files '$NF ~ /^[a-z_0-9]+$/ && $4 ~ /^[0-9]+$/ && $4 + 0 >= files / 10 {
    printf "  %-18s %6.2f\n", $NF, $4 / files }' "$work/calls"
user=$((user_after - user_before))
system=$((system_after - system_before))
echo "cpu ticks, untraced: user $user, system $system (kernel $((100 * system / (user + system + (user + system == 0)))) %)"
