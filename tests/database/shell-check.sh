#!/bin/sh
# The file the client writes, read by the Linux sqlite3 shell: same tables, same columns, same text.
# Arguments: the wine-run script, the test program, the folder of this script.
set -eu
run=$1; program=$2; here=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
LV_DB_SHELL_CHECK="Z:$(echo "$work/dat_03.db" | sed 's|/|\\|g')" \
  "$run" "$program" --gtest_filter=DatabaseFile.WritesAFileForTheShellCheck --gtest_brief=1 >"$work/log" 2>&1 ||
  { cat "$work/log"; exit 1; }
[ -f "$work/dat_03.db" ] || { echo "no database written"; cat "$work/log"; exit 1; }
sqlite3 "$work/dat_03.db" "PRAGMA integrity_check;" | grep -qx ok || { echo "integrity check failed"; exit 1; }
sqlite3 "$work/dat_03.db" <"$here/schema-layout.sql" >"$work/layout"
diff -u "$here/schema.expected" "$work/layout" || { echo "schema differs"; exit 1; }
msg=$(sqlite3 "$work/dat_03.db" "SELECT msg FROM MsgInfo")
[ "$msg" = "it's 中文 100%" ] || { echo "message read back as: $msg"; exit 1; }
echo "schema and text as written"
