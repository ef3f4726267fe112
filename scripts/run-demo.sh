#!/usr/bin/env bash
# Starts kavo.exe under Wine from a demo folder of its own, as a person would
# start it from Explorer. Without a display it runs on Xvfb, saves a screenshot
# of the dialog to <build>/demo/kavo-dialog.png and ends.
set -eu
build=$(realpath "${1:-build/win32}")
demo="$build/demo"
export KAVO_WINE_ROOT="$demo/wine"
winerun="$build/winerun"

mkdir -p "$demo"
cp "$build/kavo.exe" "$demo/kavo.exe"
headless=0
if [ -z "${DISPLAY:-}" ]; then
    headless=1
fi
echo "preparing a Wine prefix in $KAVO_WINE_ROOT ..."
"$winerun" up
trap '"$winerun" down' EXIT
# Drawn as on Windows: the caption buttons need Marlett (Wine ships it but does
# not find it in a new prefix), and the dialog's font, MS PGothic, is replaced
# by IPA PGothic, whose widths match it, so that no label is clipped.
cp /usr/share/wine/fonts/marlett.ttf "$KAVO_WINE_ROOT/prefix/drive_c/windows/Fonts/"
"$winerun" run reg.exe add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' /d 'IPA Pゴシック' /f > /dev/null 2>&1
cd "$demo"
if [ $headless = 0 ]; then
    echo "kavo.exe is starting; close its dialog to end."
    "$winerun" run kavo.exe
    exit 0
fi

eval "$("$winerun" env)"
# The caret is drawn in the picture: keep it from blinking out before it is taken.
"$winerun" run reg.exe add 'HKCU\Control Panel\Desktop' /v CursorBlinkRate /d -1 /f > /dev/null 2>&1
cp "$build/dialog_drawn.exe" "$demo/wine/dialog_drawn.exe"
# Returns once the dialog has drawn itself; kavo.exe goes on running.
if ! "$winerun" run wine/dialog_drawn.exe kavo.exe > wine/kavo.log 2>&1; then
    cat wine/kavo.log >&2
    exit 1
fi
import -window root kavo-screen.png
geometry=$(xwininfo -root -tree | grep '起動プログラム設定' | head -n 1 | grep -o '[0-9]*x[0-9]*+[0-9]*+[0-9]*' | head -n 1)
convert kavo-screen.png -crop "$geometry" +repage kavo-dialog.png 2> /dev/null || cp kavo-screen.png kavo-dialog.png
echo "no display: kavo ran on Xvfb; its dialog is in $demo/kavo-dialog.png"
