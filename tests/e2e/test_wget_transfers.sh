#!/usr/bin/env bash
# wget fetches one file in passive and in active mode, resumes it, then a
# whole tree by recursion, which it walks by reading the long listing lines;
# the copies must equal the originals byte for byte and name for name.
set -u
. "$(dirname "$0")/e2e_lib.sh"
enter_private_network "$@"

serve_everything "$1"
URL=ftp://127.0.0.1
mkdir "$WORK/local"
cd "$WORK/local" || fail "no local folder"

wget_ftp() {
    local name=$1
    shift
    run_client "$name" 30 wget --timeout=10 --tries=1 "$@"
}

random_file "$HOME_DIR/Single.bin" 2097155
wget_ftp passive-file -O passive.bin "$URL/Single.bin"
same_file "$HOME_DIR/Single.bin" passive.bin
wget_ftp active-file -d --no-passive-ftp -O active.bin "$URL/Single.bin"
same_file "$HOME_DIR/Single.bin" active.bin
grep -q '^--> PORT ' "$WORK/active-file.log" || fail "wget did not download in active mode"
head -c 1000001 "$HOME_DIR/Single.bin" >Single.bin
wget_ftp resume -d -c "$URL/Single.bin"
grep -q '^--> REST 1000001' "$WORK/resume.log" || fail "wget did not resume at byte 1000001"
same_file "$HOME_DIR/Single.bin" Single.bin
rm "$HOME_DIR/Single.bin"

# The server's names are Big5; wget turns them into the UTF-8 names of the
# local disk when told both code pages.
make_sample_tree "$HOME_DIR"
mkdir tree
wget_ftp tree -r -nH -P tree --remote-encoding=CP950 --local-encoding=UTF-8 \
    --restrict-file-names=nocontrol "$URL/"
leftover=$(find tree -name .listing)
[ -z "$leftover" ] || fail "wget kept its listing files: $leftover"
same_tree "$HOME_DIR" tree

program_alive || fail "the program ended while serving"
echo "PASS"
