#!/usr/bin/env bash
# package-check.sh BUILD: checks the Debian package that `make package` left in
# BUILD the way a user meets it. Lints it and validates its menu entry, its
# AppStream description and its manual pages. In a scratch copy of this system
# that it first rids of every font with the window's Chinese characters, it
# installs the package with apt-get, checks that it brought such a font and
# both manual pages, and takes pictures of the installed program's window and
# folder chooser on a private display (BUILD/package-check/*.png). On this
# system it then installs the package, serves a download and an upload over
# port 21 from the installed program run as an ordinary user in a private
# network, purges it and fails on anything of it left on the disk. Needs root;
# every wait is bounded.
set -euo pipefail
SELF=$(realpath "$0")
. "$(dirname "$SELF")/../tests/e2e/e2e_lib.sh"

PROGRAM=/usr/bin/tessel-ftp
RUN_AS=nobody
# The main window's caption and buttons: 連線數： 啟動 停止 設定 位址 關於.
WINDOW_CHARACTERS="9023 7dda 6578 ff1a 555f 52d5 505c 6b62 8a2d 5b9a 4f4d 5740 95dc 65bc"
# The face the dialogs' 新細明體 stands in for, which the program asks for by
# name (src/ui/dialog_font.cpp).
DIALOG_FACE="AR PL UMing TW"

# ---- on the private display: the installed program's window and chooser ----
# show_window SHOTS: the installed program on its own display in a C locale,
# its main window, then its settings dialog with the folder chooser open,
# each taken as a picture into SHOTS.
show_window() {
    local shots=$1
    ip link set lo up || fail "cannot bring loopback up in the namespace"
    make_settings 0
    export LANG=C.UTF-8 LC_ALL=C.UTF-8
    start_program "$PROGRAM" xcb
    window=$(find_main_window)
    [ -n "$window" ] || { cat "$WORK/program.log" >&2; fail "the installed program's window did not appear"; }
    wait_until 5 is_viewable "$window" || fail "the installed program's window is not shown"
    shoot_screen "$shots/main-window.png"

    # Settings is the third of the five buttons across the top of the window.
    local width height
    width=$(xwininfo -id "$window" | awk '/^  Width/ {print $2}')
    xdotool mousemove --window "$window" $((width * 115 / 231)) 10 click 1
    local settings chooser
    settings=$(timeout 10 xdotool search --sync --onlyvisible --name '^設定$' | head -1)
    [ -n "$settings" ] || fail "the settings dialog did not open"
    # The button beside the path, placed in dialog units of a 223 x 81 dialog.
    width=$(xwininfo -id "$settings" | awk '/^  Width/ {print $2}')
    height=$(xwininfo -id "$settings" | awk '/^  Height/ {print $2}')
    xdotool mousemove --window "$settings" $((width * 206 / 223)) $((height * 19 / 81)) click 1
    chooser=$(timeout 10 xdotool search --sync --onlyvisible --name '^請選擇目錄：$' | head -1)
    [ -n "$chooser" ] || fail "the folder chooser did not open"
    shoot_screen "$shots/folder-chooser.png"
    kill "$WM" 2>/dev/null
    echo "took $shots/main-window.png and $shots/folder-chooser.png"
}

# shoot_screen PATH: the whole display once what was drawn last has settled.
shoot_screen() {
    sleep 1
    import -silent -window root -strip PNG:"$1" || fail "cannot take $1"
}

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
if [ "${1:-}" = --show ]; then
    set +e
    enter_private_display "$@"
    show_window "$2"
    exit 0
fi

# ---- in a scratch copy of this system: no Chinese font before the install ----
# take_away_window_fonts: removes the packages of the fonts that have the
# window's characters; fails on such a font that no package installed.
take_away_window_fonts() {
    local file owner packages=""
    while read -r file; do
        owner=$(dpkg-query -S "$file" 2>/dev/null) || fail "$file has the window's characters but no package installed it"
        packages+=" ${owner%%:*}"
    done < <(fc-list ":charset=$WINDOW_CHARACTERS" file | sed 's/: *$//')
    packages=$(printf '%s\n' $packages | sort -u)
    [ -n "$packages" ] || return 0
    echo "taking away: $(echo $packages)"
    # dpkg, not apt-get: it refuses rather than take away what depends on a font.
    dpkg --remove $packages >/dev/null || fail "cannot remove $(echo $packages)"
}

# install_without_fonts DEB SHOTS: takes the fonts away, installs the package,
# checks the font and the manual pages it brought and shows its window.
install_without_fonts() {
    local deb=$1 shots=$2
    take_away_window_fonts
    [ -z "$(fc-list ":charset=$WINDOW_CHARACTERS" file)" ] || fail "fonts with the window's characters are left"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o Dpkg::Use-Pty=0 "$deb" >"$WORK/install.log" 2>&1 \
        || { cat "$WORK/install.log" >&2; fail "apt-get could not install $deb without a Chinese font"; }
    grep -E '^Setting up' "$WORK/install.log"

    local face_file
    face_file=$(fc-match -f '%{file}' "$DIALOG_FACE")
    fc-list ":charset=$WINDOW_CHARACTERS" file | grep -qF "$face_file:" \
        || fail "\"$DIALOG_FACE\" resolves to $face_file, which lacks the window's characters"
    echo "\"$DIALOG_FACE\" is $face_file, with the window's characters"
    # man follows the desktop's language; a zh_TW locale compiled here stands
    # in for a Traditional Chinese desktop.
    mkdir "$WORK/locale"
    localedef -i zh_TW -f UTF-8 "$WORK/locale/zh_TW.UTF-8" 2>/dev/null || fail "cannot compile the zh_TW.UTF-8 locale"
    LOCPATH="$WORK/locale" LANG=zh_TW.UTF-8 MANWIDTH=80 MANPAGER=cat man tessel-ftp 2>/dev/null | grep -q '檔名與用戶端' \
        || fail "LANG=zh_TW.UTF-8 man tessel-ftp does not show the Traditional Chinese page"
    LANG=C.UTF-8 MANWIDTH=80 MANPAGER=cat man tessel-ftp 2>/dev/null | grep -q 'FILE NAMES AND CLIENTS' \
        || fail "man tessel-ftp does not show the English page"
    echo "man tessel-ftp shows the English page, and the Chinese one for LANG=zh_TW.UTF-8"

    unshare -n bash "$0" --show "$shots" || fail "showing the installed program failed"
}

if [ "${1:-}" = --without-fonts ]; then
    WORK=$(mktemp -d)
    install_without_fonts "$2" "$3"
    exit 0
fi

# in_scratch_root ARGUMENTS...: runs this script with the arguments, chrooted
# into an overlay of / whose changes stay in memory and go with the mount
# namespace (the caller's), so that what it removes and installs never
# touches this system, whose own tests need its fonts.
in_scratch_root() {
    local scratch
    scratch=$(mktemp -d)
    mount -t tmpfs tmpfs "$scratch" || fail "cannot mount a tmpfs for the scratch root"
    mkdir "$scratch/upper" "$scratch/work" "$scratch/root"
    mount -t overlay overlay -o "lowerdir=/,upperdir=$scratch/upper,workdir=$scratch/work" "$scratch/root" \
        || fail "cannot lay an overlay over /"
    mount -t proc proc "$scratch/root/proc"
    mount --rbind /dev "$scratch/root/dev"
    mount --rbind /sys "$scratch/root/sys"
    # The pictures outlive the scratch root.
    mount --bind "$shots" "$scratch/root$shots"
    chroot "$scratch/root" bash "$SELF" "$@"
}

if [ "${1:-}" = --in-scratch-root ]; then
    shift
    shots=$2
    in_scratch_root --without-fonts "$@"
    exit $?
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
    lintian --fail-on error,warning --display-info "$WORK/lint/$(basename "$deb")" \
    || fail "lintian found errors or warnings"

echo "== desktop-file-validate, appstreamcli validate"
dpkg-deb -x "$deb" "$WORK/unpacked"
desktop-file-validate "$WORK/unpacked/usr/share/applications/$package.desktop" || fail "the desktop entry is invalid"
appstreamcli validate --no-net --explain "$WORK"/unpacked/usr/share/metainfo/*.metainfo.xml \
    || fail "the AppStream description is invalid"

echo "== man --warnings"
for page in "$WORK"/unpacked/usr/share/man/man1/*.1.gz "$WORK"/unpacked/usr/share/man/*/man1/*.1.gz; do
    LANG=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" >/dev/null 2>"$WORK/man.log" || fail "man cannot render $page"
    [ ! -s "$WORK/man.log" ] || { cat "$WORK/man.log" >&2; fail "man warns about ${page#"$WORK/unpacked"}"; }
done

echo "== a scratch copy of this system without a Chinese font: install, fonts, manual, window"
shots=$(realpath "$build")/package-check
mkdir -p "$shots"
unshare -m --propagation private bash "$0" --in-scratch-root "$deb" "$shots" \
    || fail "the package did not bring what its window needs to a system without a Chinese font"

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
