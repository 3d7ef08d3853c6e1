#!/bin/bash
# tools/makeskin: strips from PNG frames, its refusals and warnings, and a
# strip it made shown by the real notifier under Wine with the settings
# lines it printed.
#   makeskin_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
src=$1
build=$2
. "$src/tests/scripts/wine_session.bash"
session_start "$build" makeskin
makeskin="$src/tools/makeskin"
cd "$session_dir" || exit 1

KEY=#FF00FF
BODY='rgb(40,40,60)'

# frame FILE COLOUR: a 60x50 frame, key background, dark body with a marker.
frame() {
  convert -size 60x50 "xc:$KEY" -fill "$BODY" -draw 'rectangle 5,5 54,44' \
    -fill "$2" -draw 'rectangle 10,10 14,14' "$1"
}

# strip_pixel BMP X Y: "R,G,B" of one pixel of a strip.
strip_pixel() {
  convert "$1" -depth 8 -format "%[fx:round(255*p{$2,$3}.r)],%[fx:round(255*p{$2,$3}.g)],%[fx:round(255*p{$2,$3}.b)]" info:
}

# header_field BMP OFFSET TYPE: one little-endian field of the BMP header.
header_field() { od -An "-t$3" -j "$2" -N "${3:1}" "$1" | tr -d ' '; }

# --- a good set, in name order whatever the order of creation
mkdir good
frame good/c.png blue
frame good/a.png red
frame good/b.png lime
"$makeskin" --text-box 20,20,40,30 good good.bmp >good.out 2>good.err
check "a good set succeeds" test $? -eq 0
check "it prints the settings lines" test "$(cat good.out)" = "$(printf '%s\n' '[setting]' bmpwidth=60 \
  textleft=20 texttop=20 textright=40 textbottom=30)"
check "no warning for a covered text box" test "$(grep -c warning good.err)" = 0
check "file sees a 180x50 24-bit Windows bitmap" grep -q 'PC bitmap, Windows 3.x format, 180 x 50 x 24' \
  <<<"$(file good.bmp)"
check "header: BM, 180 x 50, 24 bits, no compression, no palette" test \
  "$(head -c 2 good.bmp)/$(header_field good.bmp 18 d4)/$(header_field good.bmp 22 d4)/$(header_field good.bmp 28 u2)/$(header_field good.bmp 30 u4)/$(header_field good.bmp 46 u4)" \
  = "BM/180/50/24/0/0"
check "the file is exactly header plus 24-bit rows" test "$(stat -c %s good.bmp)" = $((54 + 180 * 3 * 50))
check "frames follow name order a, b, c" test \
  "$(strip_pixel good.bmp 12 12) $(strip_pixel good.bmp 72 12) $(strip_pixel good.bmp 132 12)" \
  = "255,0,0 0,255,0 0,0,255"
check "the key colour stays at the top-left" test "$(strip_pixel good.bmp 0 0)" = 255,0,255

"$makeskin" good default.bmp >default.out 2>default.err
check "the default text box is printed" test "$(tail -n 4 default.out | tr '\n' ' ')" = \
  "textleft=85 texttop=86 textright=106 textbottom=100 "
check "a default box outside 60x50 frames is warned about" grep -q 'warning:.*outside' default.err

# --- transparency becomes the key; half-opaque pixels pick a side
mkdir clear
convert -size 20x20 xc:none -fill 'rgb(10,20,30)' -draw 'rectangle 4,4 15,15' \
  -fill 'rgba(200,0,0,0.25)' -draw 'point 1,1' -fill 'rgba(0,200,0,0.75)' -draw 'point 2,18' clear/1.png
"$makeskin" --text-box 4,4,16,16 clear clear.bmp >/dev/null 2>clear.err
check "a transparent corner gives the magenta key" test "$(strip_pixel clear.bmp 0 0)" = 255,0,255
check "a quarter-opaque pixel becomes the key" test "$(strip_pixel clear.bmp 1 1)" = 255,0,255
check "a three-quarter-opaque pixel keeps its own colour" test "$(strip_pixel clear.bmp 2 18)" = 0,200,0
check "opaque art is unchanged" test "$(strip_pixel clear.bmp 9 9)" = 10,20,30

# --- a key-coloured pixel under the count in one frame
mkdir holed
frame holed/a.png red
frame holed/b.png lime
frame holed/c.png blue
convert holed/b.png -fill "$KEY" -draw 'point 30,25' holed/b.png
"$makeskin" --text-box 20,20,40,30 holed holed.bmp >/dev/null 2>holed.err
check "a hole under the count still gives a strip" test $? -eq 0 -a -s holed.bmp
check "the warning names the frame with the hole, and only it" \
  test "$(grep warning holed.err | grep -c 'b\.png')/$(grep warning holed.err | grep -c '[ac]\.png')" = 1/0

# --- refusals: exit non-zero, say why, write nothing
refuses() { # WHY MESSAGE_PATTERN ARGS...
  local why=$1 pattern=$2
  shift 2
  rm -f refused.bmp
  "$makeskin" "$@" refused.bmp >refused.out 2>refused.err
  local status=$?
  check "refuses $why" test "$status" -ne 0 -a ! -e refused.bmp
  check "says why for $why" grep -qi "$pattern" refused.err
}
mkdir unequal
frame unequal/a.png red
convert -size 61x50 "xc:$KEY" unequal/b.png
refuses "unequal widths" "differ in size" unequal

mkdir thirty thirty-one
for i in $(seq -w 1 30); do convert -size 4x4 "xc:$KEY" -fill black -draw 'point 2,2' "thirty/$i.png"; done
cp thirty/*.png thirty-one/ && cp thirty/01.png thirty-one/31.png
"$makeskin" --text-box 2,2,3,3 thirty thirty.bmp >/dev/null 2>&1
check "30 frames are fine" test $? -eq 0 -a "$(header_field thirty.bmp 18 d4)" = 120
refuses "31 frames" "at most 30" --text-box 2,2,3,3 thirty-one

mkdir empty not-png
refuses "an empty folder" "no frames" empty
frame not-png/a.png red
convert not-png/a.png not-png/b.jpg && mv not-png/b.jpg not-png/b.png
refuses "a JPEG named .png" "b.png is not a PNG" not-png
refuses "a malformed text box" "four integers" --text-box 1,2,3 good

# --- the committed example skin is what its frames make
skin="$src/skins/lark"
box=$(sed -n 's/^text\(left\|top\|right\|bottom\)=//p' "$skin/settings.ini" | paste -sd,)
"$makeskin" --text-box "$box" "$skin/frames" lark.bmp >lark.out 2>/dev/null
check "skins/lark/larkbell.bmp is up to date with its frames" cmp -s lark.bmp "$skin/larkbell.bmp"
check "skins/lark/settings.ini holds the printed lines" cmp -s lark.out "$skin/settings.ini"

# --- the notifier shows the made strip with the printed settings
mkdir app
cp "$build/bin/larkbell.exe" app/
cp good.bmp app/larkbell.bmp
sed 's/$/\r/' good.out >app/larkbell.ini
wine app/larkbell.exe >notifier.log 2>&1 </dev/null &
body_shown() { [ "$(screen_pixel 30 40)" = 40,40,60 ]; }
check "the popup shows the strip's body colour" poll body_shown
check "key-coloured pixels are cut out of the popup" test "$(screen_pixel 2 2)" = 0,0,0
check "the popup is one 60 px frame wide" test "$(screen_pixel 70 40)" = 0,0,0
session_end
wait

finish
