#!/usr/bin/env bash
# rclone copies a tree of nested folders, empty ones and many small files
# included, up to the server and back, and makes folders through its mount.
# Its FTP client takes nothing but 257 for a made folder, and connects each
# data connection as soon as PASV is answered, so a made folder answered
# otherwise or a passive port that refuses fails an attempt; with no retries
# allowed, any failed attempt fails the test. rclone sends names in UTF-8
# only, so this tree keeps to names that read the same in code page 950.
set -u
. "$(dirname "$0")/e2e_lib.sh"
# Its own mount namespace too, so that a mount cannot outlive the test.
if [ "${TESSEL_E2E_MOUNTNS:-}" != 1 ]; then
    exec unshare -m --propagation private env TESSEL_E2E_MOUNTNS=1 bash "$0" "$@"
fi
enter_private_network "$@"
command -v rclone >/dev/null || fail "rclone is missing (tools/install-deps.sh installs it)"

serve_everything "$1"
cd "$WORK" || fail "no work folder"

make_nested_tree() {
    mkdir -p "$1/Top/Middle/Deep" "$1/Top/Second" "$1/Other Dir/Sub" "$1/Empty/Inner/Most" || fail "cannot make $1"
    random_file "$1/Top/Middle/Deep/leaf.bin" 100003
    random_file "$1/Other Dir/Sub/block.bin" 4097
    printf 'top\n' >"$1/Top/top.txt"
    : >"$1/Top/Second/empty.txt"
    local i
    for ((i = 1; i <= 40; i++)); do
        printf '%d\n' "$i" >"$1/Top/Second/small $i.txt"
    done
}

remote=":ftp,host=127.0.0.1,user=anonymous,pass=$(rclone obscure guest):"
: >rclone.conf
# NAME SECONDS ARGUMENTS...: one rclone command that must succeed at its first
# attempt; its log is kept in $WORK/NAME.log.
rclone_once() {
    local name=$1 seconds=$2
    shift 2
    run_client "$name" "$seconds" rclone --config "$WORK/rclone.conf" --cache-dir "$WORK/cache" \
        --retries 1 --low-level-retries 1 --contimeout 10s --timeout 20s -v "$@"
    failed_attempts "$WORK/$name.log" && fail "rclone $name had a failed attempt"
}

# The failures rclone logs in FILE, but for folder times, which FTP cannot set.
failed_attempts() {
    grep -E 'ERROR|Errors:|Attempt [0-9]+/[0-9]+ failed|low level retry' "$1" \
        | grep -v 'SetModTime is not supported' >&2
}

make_nested_tree source
rclone_once copy-up 120 copy --create-empty-src-dirs source "$remote/Up"
same_tree source "$HOME_DIR/Up"
rclone_once copy-back 120 copy --create-empty-src-dirs "$remote/Up" back
same_tree source back
rclone_once mkdir 30 mkdir "$remote/Made/By/Mkdir"
[ -d "$HOME_DIR/Made/By/Mkdir" ] || fail "rclone mkdir made no nested folder"

# The mount needs FUSE: the device, the helper and the right to mount here.
fuse_usable() {
    [ -c /dev/fuse ] && (: <>/dev/fuse) 2>/dev/null || return 1
    command -v fusermount3 >/dev/null || command -v fusermount >/dev/null
}
if ! fuse_usable; then
    echo "PASS (no mount: /dev/fuse or fusermount is not usable on this machine)"
    exit 0
fi
unmount() {
    fusermount3 -uz "$WORK/mnt" 2>/dev/null || fusermount -uz "$WORK/mnt" 2>/dev/null
}
mounted() {
    mountpoint -q "$WORK/mnt"
}
mkdir mnt
trap 'unmount; cleanup' EXIT
rclone --config "$WORK/rclone.conf" --cache-dir "$WORK/cache" --low-level-retries 1 -v \
    mount "$remote/Up" mnt >"$WORK/mount.log" 2>&1 &
MOUNT=$!
mounted_or_refused() {
    mounted || ! kill -0 "$MOUNT" 2>/dev/null
}
wait_until 20 mounted_or_refused || { cat "$WORK/mount.log" >&2; fail "rclone mount did not come up in 20 s"; }
if ! mounted; then
    cat "$WORK/mount.log" >&2
    grep -qiE 'fusermount|not permitted|permission denied' "$WORK/mount.log" || fail "rclone mount ended"
    echo "PASS (no mount: this machine does not let FUSE mount, see above)"
    exit 0
fi
mkdir mnt/Mounted || fail "mkdir through the mount failed"
mkdir -p mnt/Mounted/Deeper/Deepest || fail "mkdir -p through the mount failed"
[ -d "$HOME_DIR/Up/Mounted/Deeper/Deepest" ] || fail "the mount made no folder on the server"
cmp source/Top/Middle/Deep/leaf.bin mnt/Top/Middle/Deep/leaf.bin || fail "a file read through the mount differs"
unmount
wait_until 20 eval '! kill -0 $MOUNT 2>/dev/null' || fail "rclone mount did not end after unmounting"
failed_attempts "$WORK/mount.log" && fail "rclone mount logged an error"

program_alive || fail "the program ended while serving"
echo "PASS"
