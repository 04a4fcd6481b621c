#!/usr/bin/env bash
# curl moves a few MiB of random bytes both ways in passive and active mode,
# makes missing Big5-named folders on its way up, lists the root, and resumes
# a partial download; every file must arrive byte for byte.
set -u
. "$(dirname "$0")/e2e_lib.sh"
enter_private_network "$@"

serve_everything "$1"
URL=ftp://127.0.0.1
SIZE=3145731
random_file "$HOME_DIR/Random.bin" "$SIZE"
mkdir "$WORK/local"
cd "$WORK/local" || fail "no local folder"

curl_ftp() {
    local name=$1
    shift
    run_client "$name" 30 curl -sSv --max-time 25 "$@"
}

# Passive: the server refuses EPSV, curl falls back to PASV.
curl_ftp passive-download -o passive.bin "$URL/Random.bin"
same_file "$HOME_DIR/Random.bin" passive.bin
grep -q '^> PASV' "$WORK/passive-download.log" || fail "curl did not download in passive mode"

curl_ftp passive-upload -T passive.bin "$URL/Passive%20Up.bin"
same_file passive.bin "$HOME_DIR/Passive Up.bin"

# Active: the server connects back to the port that curl names with PORT.
curl_ftp active-download -P - -o active.bin "$URL/Random.bin"
same_file "$HOME_DIR/Random.bin" active.bin
grep -q '^> PORT ' "$WORK/active-download.log" || fail "curl did not download in active mode"

curl_ftp active-upload -P 127.0.0.1 -T active.bin "$URL/ActiveUp.bin"
same_file active.bin "$HOME_DIR/ActiveUp.bin"

# Missing folders made on the way (CWD refused, MKD, CWD), with Big5 names;
# the download names the whole path in one RETR.
nested="New/$(big5_url 許功蓋)/$(big5_url 報告).bin"
curl_ftp nested-upload --ftp-create-dirs -T active.bin "$URL/$nested"
same_file active.bin "$HOME_DIR/New/許功蓋/報告.bin"
curl_ftp nested-download --ftp-method nocwd -o nested.bin "$URL/$nested"
same_file active.bin nested.bin
rm -r "$HOME_DIR/New"

# Listing: one long line per entry with the name at byte 52 (curl turns the
# CR LF of an ASCII listing into LF).
curl_ftp listing -o listing.txt "$URL/"
for name in Random.bin 'Passive Up.bin' ActiveUp.bin; do
    line=$(grep -F " $name" listing.txt)
    [[ "$line" =~ ^-rwx------\ 1\ user\ group\ +$SIZE\ [A-Z][a-z]{2}\ [0-9]{2}\ ([0-9]{2}:[0-9]{2}|[0-9]{4}\ ) ]] &&
        [ "${line:52}" = "$name" ] || { cat -A listing.txt >&2; fail "listing has no proper line for '$name'"; }
done
[ "$(wc -l <listing.txt)" -eq 3 ] || { cat -A listing.txt >&2; fail "listing should hold three lines"; }

# Resume: curl asks SIZE, then REST at the length it already has.
head -c 1000000 "$HOME_DIR/Random.bin" >resumed.bin
curl_ftp resume -C - -o resumed.bin "$URL/Random.bin"
grep -q '^> REST 1000000' "$WORK/resume.log" || fail "curl did not resume at byte 1000000"
same_file "$HOME_DIR/Random.bin" resumed.bin

program_alive || fail "the program ended while serving"
echo "PASS"
