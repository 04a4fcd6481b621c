# Source with the prefix as argument: the environment every Wine call of
# the build and the tests shares. Quiet, no Mono or Gecko installers, no
# menu builder.
export WINEPREFIX=$1
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
