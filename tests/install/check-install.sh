#!/usr/bin/env bash
# check-install.sh BUILD_DIR EXPECTED_FILES
# Installs BUILD_DIR under a staging folder with the prefix the package uses and
# checks the tree, the menu entry and its metadata, the manual pages (against
# tarvel-batch --help), and that the installed programs run from there.
set -euo pipefail
build=$1 expected=$2
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
root=$stage/usr
export XDG_DATA_HOME=$stage/data
fail() { echo "check-install: $*" >&2; exit 1; }

DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
diff -u "$expected" <(cd "$root" && find . -type f | LC_ALL=C sort) || fail "installed files differ"

desktop=$root/share/applications/de.tarvel.Tarvel.desktop
desktop-file-validate "$desktop" || fail "desktop entry invalid"
verdict=$(appstreamcli validate --no-net "$root/share/metainfo/de.tarvel.Tarvel.metainfo.xml") \
  || fail "metainfo invalid: $verdict"
# The menu entry must start an installed program and show an installed icon.
exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -x "$root/bin/$exec_program" ] || fail "Exec=$exec_program is not installed"
[ -f "$root/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "Icon=$icon is not installed"

for page in "$root"/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done

# Every option --help names is in the manual's OPTIONEN section, and no other.
long_options() { grep -o -- '--[a-z][a-z-]*' | sort -u; }
help_options=$("$root/bin/tarvel-batch" --help | long_options)
manual_options=$(zcat "$root/share/man/man1/tarvel-batch.1.gz" | sed 's/\\-/-/g' \
  | sed -n '/^\.SH OPTIONEN/,/^\.SH /p' | long_options)
diff -u <(echo "$help_options") <(echo "$manual_options") \
  || fail "options of tarvel-batch --help (-) and its manual page (+) differ"

# The machine's setting holds comments only; filled in, the batch program reads
# it from the folder XDG_CONFIG_DIRS names.
settings=$stage/etc/xdg/Tarvel/Tarvel.conf
[ -f "$settings" ] || fail "no /etc/xdg/Tarvel/Tarvel.conf"
! grep -qv '^#' "$settings" || fail "Tarvel.conf holds more than comments"
printf '[Datenbank]\nOrt=%s\n' "$stage/demo.sqlite" >>"$settings"
source=$(XDG_CONFIG_DIRS=$stage/etc/xdg XDG_CONFIG_HOME=$stage/config "$root/bin/tarvel-batch" database 2>/dev/null) || true
grep -qx "Herkunft: Rechnereinstellung, $settings" <<<"$source" || fail "the setting is not read: $source"

# The installed demo builder and batch program work together on an installed workbook.
"$root/bin/tarvel-fill-demo-database" "$stage/demo.sqlite" >/dev/null
log=$("$root/bin/tarvel-batch" check --district --database "$stage/demo.sqlite" \
  "$root/share/tarvel/workbooks/Jagdbezirke.xlsx" 2>/dev/null) || fail "tarvel-batch check failed"
grep -q "Musterrevier" <<<"$log" || fail "the check found no demo district: $log"
echo "check-install: the installed tree is complete and works"
