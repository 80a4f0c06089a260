#!/bin/sh
# Installs the build into a scratch prefix as the README says and checks
# that it is installed like an application: a stripped program, its rule
# set, its icon in the icon theme and a valid menu entry that names it.
#   install_check.sh BUILD_DIR
set -eu
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" --strip >/dev/null
test -x "$prefix/bin/ombrix"
if readelf -S "$prefix/bin/ombrix" | grep -Eq '\.(symtab|debug_info)'; then
  echo "bin/ombrix still has its symbols" >&2
  exit 1
fi
test -f "$prefix/share/ombrix/rules.default.json"
test -f "$prefix/share/icons/hicolor/scalable/apps/ombrix.svg"
desktop-file-validate "$prefix/share/applications/ombrix.desktop"
grep -qx 'Icon=ombrix' "$prefix/share/applications/ombrix.desktop"
