#!/usr/bin/env bash
# package-check.sh BUILD: checks the Debian package that `make package` left in
# BUILD the way a user meets it. Lints it, validates its menu entry and its
# AppStream description, installs it with apt-get, serves a download and an
# upload over port 21 from the installed program run as an ordinary user in a
# private network, purges it and fails on anything of it left on the disk.
# Needs root; every wait is bounded.
set -euo pipefail
. "$(cd "$(dirname "$0")/.." && pwd)/tests/e2e/e2e_lib.sh"

PROGRAM=/usr/bin/tessel-ftp
RUN_AS=nobody

# ---- inside the private network: the installed program as an ordinary user ----
# serve_as_user: starts the installed program as $RUN_AS with a settings file
# of its own, checks that the capability is what lets it listen on 21, then
# downloads and uploads a file whose Big5 name needs the CP950 converter.
serve_as_user() {
    ip link set lo up || fail "cannot bring loopback up in the namespace"
    make_settings 1
    grant_all_rights
    chown -R "$RUN_AS" "$WORK"
    chmod 755 "$WORK"
    printf '下載測試\r\n' >"$HOME_DIR/下載.txt"
    chown "$RUN_AS" "$HOME_DIR/下載.txt"

    setpriv --reuid="$RUN_AS" --regid="$(id -g "$RUN_AS")" --clear-groups \
        env HOME="$WORK" XDG_CONFIG_HOME="$XDG_CONFIG_HOME" QT_QPA_PLATFORM=offscreen \
        "$PROGRAM" >"$WORK/program.log" 2>&1 &
    APP=$!
    wait_until 15 listening_on_21 || { cat "$WORK/program.log" >&2; fail "the installed program does not listen on port 21"; }
    [ "$(awk '/^Uid:/ {print $3}' "/proc/$APP/status")" = "$(id -u "$RUN_AS")" ] \
        || fail "the program does not run as $RUN_AS"
    local effective
    effective=$(awk '/^CapEff:/ {print $2}' "/proc/$APP/status")
    [ "$effective" = 0000000000000400 ] \
        || fail "the program's effective capabilities are $effective, not cap_net_bind_service alone"

    cp "$HOME_DIR/下載.txt" "$WORK/expected.txt"
    run_client download 30 curl -sS --fail "ftp://127.0.0.1/$(big5_url 下載.txt)" -o "$WORK/downloaded.txt"
    same_file "$WORK/expected.txt" "$WORK/downloaded.txt"
    random_file "$WORK/upload.bin" 300000
    run_client upload 30 curl -sS --fail -T "$WORK/upload.bin" "ftp://127.0.0.1/$(big5_url 上傳.bin)"
    same_file "$WORK/upload.bin" "$HOME_DIR/上傳.bin"
    [ "$(stat -c %U "$HOME_DIR/上傳.bin")" = "$RUN_AS" ] || fail "the upload is not owned by $RUN_AS"
    echo "served a download and an upload on port 21 as $RUN_AS with cap_net_bind_service"
}

if [ "${1:-}" = --serve ]; then
    # The shared end-to-end steps check each result themselves.
    set +e
    serve_as_user
    exit 0
fi

# ---- outside: the package file, its installation and its removal ----
build=$1
[ "$(id -u)" -eq 0 ] || fail "run as root: the check installs and purges the package"
debs=("$build"/tessel-ftp_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected exactly one package in $build, found: ${debs[*]}"
deb=$(realpath "${debs[0]}")
package=$(dpkg-deb -f "$deb" Package)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

echo "== $deb"
dpkg-deb -f "$deb" Package Version Architecture Depends Recommends
echo "== lintian"
# Lint tools read the archive as an ordinary user, not as root.
chmod 755 "$WORK"
mkdir "$WORK/lint"
cp "$deb" "$WORK/lint/"
chown -R "$RUN_AS" "$WORK/lint"
setpriv --reuid="$RUN_AS" --regid="$(id -g "$RUN_AS")" --clear-groups env HOME="$WORK/lint" TMPDIR="$WORK/lint" \
    lintian --fail-on error --display-info "$WORK/lint/$(basename "$deb")" || fail "lintian found errors"

echo "== desktop-file-validate, appstreamcli validate"
dpkg-deb -x "$deb" "$WORK/unpacked"
desktop-file-validate "$WORK/unpacked/usr/share/applications/$package.desktop" || fail "the desktop entry is invalid"
appstreamcli validate --no-net --explain "$WORK"/unpacked/usr/share/metainfo/*.metainfo.xml \
    || fail "the AppStream description is invalid"

echo "== apt-get install"
# A leftover of an interrupted check would make this an upgrade.
dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' && apt-get purge -y -qq "$package"
# Every file and link the package holds, from the archive itself, to look
# for after the purge.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print substr($6, 2)}' >"$WORK/files"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o Dpkg::Use-Pty=0 "$deb" || fail "apt-get could not install $deb"
getcap "$PROGRAM" | grep -q cap_net_bind_service=ep || fail "the install did not grant cap_net_bind_service: $(getcap "$PROGRAM")"
# Writing the program again, as an upgrade does, drops the capability.
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o Dpkg::Use-Pty=0 --reinstall "$deb" || fail "apt-get could not reinstall $deb"
getcap "$PROGRAM" | grep -q cap_net_bind_service=ep || fail "the reinstall did not grant cap_net_bind_service again"

echo "== the installed program in a private network"
unshare -n bash "$0" --serve || { apt-get purge -y -qq "$package"; fail "serving from the installed package failed"; }

echo "== apt-get purge"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq -o Dpkg::Use-Pty=0 "$package" || fail "apt-get could not purge $package"
status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
case "$status" in
    "" | *not-installed) ;;
    *) fail "dpkg still has $package: $status" ;;
esac
leftovers=()
while read -r path; do
    if [ -e "$path" ] || [ -L "$path" ]; then leftovers+=("$path"); fi
done <"$WORK/files"
for path in "/usr/share/doc/$package" /var/lib/dpkg/info/"$package".*; do
    if [ -e "$path" ]; then leftovers+=("$path"); fi
done
[ ${#leftovers[@]} -eq 0 ] || fail "left on the disk after the purge: ${leftovers[*]}"
echo "PASS: $(basename "$deb")"
