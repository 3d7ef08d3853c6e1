#!/bin/bash
# The release zip: exactly the files users get, a guide Notepad can read, and
# the unpacked program working under Wine from a plain folder and from one
# whose path holds Japanese characters and a space.
#   dist_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
src=$1
build=$2
. "$src/tests/scripts/wine_session.bash"
session_start "$build" dist

zip=$("$src/scripts/make-dist" "$build" "$session_dir/out" 2>"$session_dir/make-dist.err")
check "make-dist builds the zip" test -f "$zip"
[ -f "$zip" ] || { cat "$session_dir/make-dist.err"; finish; exit 1; }
check "the zip is named after the version" test "$(basename "$zip")" = larkbell-1.0.1.1-win64.zip
check "the zip holds exactly the seven files" test \
  "$(unzip -Z1 "$zip" | LC_ALL=C sort | paste -sd ' ')" = \
  "README-ja-en.txt larkbell.bmp larkbell.exe larkbell.ini.sample larkbellctl.exe larkbellwatch.exe larkbellwatch.ini.sample"

plain="$session_dir/plain"
japanese="$session_dir/テスト 通知/larkbell"
mkdir -p "$plain" "$japanese"
unzip -q "$zip" -d "$plain"
unzip -q "$zip" -d "$japanese"

# --- the files themselves
check "the skin is the built one" cmp -s "$plain/larkbell.bmp" "$build/bin/larkbell.bmp"
check "larkbell.exe is a 64-bit GUI program" grep -q 'PE32+ executable (GUI) x86-64' \
  <<<"$(file "$plain/larkbell.exe")"
check "larkbellctl.exe is a 64-bit console program" grep -q 'PE32+ executable (console) x86-64' \
  <<<"$(file "$plain/larkbellctl.exe")"
check "larkbellwatch.exe is a 64-bit GUI program" grep -q 'PE32+ executable (GUI) x86-64' \
  <<<"$(file "$plain/larkbellwatch.exe")"
guide="$plain/README-ja-en.txt"
check "the guide starts with a UTF-8 byte-order mark" test "$(head -c 3 "$guide" | od -An -tx1 | tr -d ' ')" = efbbbf
check "the guide is valid UTF-8" iconv -f UTF-8 -t UTF-8 -o /dev/null "$guide"
check "every line of the guide ends in CRLF" test "$(grep -c $'\r$' "$guide")" = "$(wc -l <"$guide")"
check "the guide has its Japanese" grep -q 'インストール' "$guide"
check "the guide leaves out pictures and markup" test "$(grep -c -e '!\[' -e '\*\*' -e '`' "$guide")" = 0
missing_keys=
for key in interval trans bmpwidth posx posy textleft texttop textright textbottom activate windowname \
  fontsize fontcolr fontcolg fontcolb font; do
  grep -q "| $key |" "$guide" || missing_keys+=" $key"
done
check "the guide documents all sixteen settings${missing_keys:+ (missing:$missing_keys)}" test -z "$missing_keys"
sample="$plain/larkbell.ini.sample"
check "the sample settings are CP932 text" iconv -f CP932 -t UTF-8 -o /dev/null "$sample"
check "the sample settings have CRLF lines" test "$(grep -c $'\r$' "$sample")" = "$(wc -l <"$sample")"
check "the sample settings name section [setting]" grep -qi '^\[setting\]' "$sample"
check "the watcher's sample settings are CP932 text with an account section" \
  grep -q '^\[account:' <(iconv -f CP932 -t UTF-8 "$plain/larkbellwatch.ini.sample")

# --- running from each folder
popup_lit() { # at least a fifth of the popup's area is not the black root
  awk -v share="$(lit_share 0 0 120 150)" 'BEGIN { exit !(share > 0.2) }'
}
screen_dark() { [ "$(lit_share 0 0 120 150)" = 0 ]; }
notifier_exited() { ! kill -0 "$1" 2>/dev/null; }

run_from() { # LABEL FOLDER
  local label=$1 dir=$2 files_before
  files_before=$(ls -A "$dir")
  wine "$dir/larkbell.exe" >"$session_dir/notifier.log" 2>&1 </dev/null &
  local notifier=$!
  check "$label: the popup is drawn at the top-left" poll popup_lit
  timeout 120 wine "$dir/larkbell.exe" 4 >"$session_dir/second.log" 2>&1 </dev/null
  check "$label: 'larkbell.exe 4' beside a running popup ends by itself" test $? -ne 124
  run_wine "$session_dir/get.txt" "$dir/larkbellctl.exe" get
  check "$label: larkbellctl get prints 4" test "$(tr -d '\r\n' <"$session_dir/get.txt")" = 4
  check "$label: the popup still runs" kill -0 "$notifier"
  check "$label: running creates no settings file" test ! -e "$dir/larkbell.ini"
  check "$label: the folder holds only what was unpacked" test "$(ls -A "$dir")" = "$files_before"
  wineserver -k >/dev/null 2>&1
  poll notifier_exited "$notifier"
  check "$label: the screen is dark again once Wine is ended" poll screen_dark
}

run_from "plain folder" "$plain"
run_from "Japanese folder" "$japanese"

session_end
finish
