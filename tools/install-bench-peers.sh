#!/usr/bin/env bash
# Installs the peer FTP servers that `make bench` measures ours against. vsftpd and
# pyftpdlib are installed as packages; pure-ftpd and proftpd conflict with vsftpd as
# packages, so they are downloaded and unpacked under BUILD_DIR/peers (their libraries
# are installed normally) and run from there, side by side with vsftpd.
#   tools/install-bench-peers.sh BUILD_DIR
set -euo pipefail

peers=$(realpath -m "${1:-build}")/peers
here=$(dirname "$0")

"$here"/install-deps.sh vsftpd python3-pyftpdlib \
    libsodium23 libhiredis0.14 libmemcached11 libmemcachedutil2 libpcre2-posix3 libacl1

unpacked() { [ -x "$peers/root/usr/sbin/pure-ftpd" ] && [ -x "$peers/root/usr/sbin/proftpd" ]; }
unpacked && exit 0

mkdir -p "$peers"
cd "$peers"
rm -f ./*.deb
# The download runs as root into a folder apt's own user cannot write; that is expected.
apt-get download -qq pure-ftpd proftpd-core 2>&1 | grep -v "unsandboxed" || true
for package in ./*.deb; do
    dpkg-deb -x "$package" root
done
unpacked || { echo "install-bench-peers: pure-ftpd or proftpd did not unpack" >&2; exit 1; }
