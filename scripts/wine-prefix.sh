#!/usr/bin/env bash
# Makes the 64-bit Wine prefix at $1 for the Windows programs and their tests
# (about 10 s, no display needed), or brings one made by an earlier version
# of this script up to date:
#   - the display driver: $VELTRANO_WINE_GRAPHICS, "null" by default (windows
#     exist and can be driven, nothing is drawn, no X needed), or "x11" to
#     show them on $DISPLAY; Xvfb has no window manager, so Wine draws the
#     window frames itself;
#   - 96 DPI, whatever the X server says;
#   - Chinese texts render under any locale: Wine's own fonts copied where
#     Debian's Wine finds them, SimSun (the face Wine links CJK text to) taken
#     by WenQuanYi Micro Hei, and the bold title-bar font linked to it too.
set -euo pipefail
prefix="$1"
graphics="${VELTRANO_WINE_GRAPHICS:-null}"
stamp="$prefix/veltrano-prefix.stamp"
wanted="$(sha1sum <"$0" | cut -d' ' -f1) $graphics"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$wanted" ]; then exit 0; fi

mkdir -p "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine's own start-up chatter (a 32-bit helper a 64-bit prefix lacks, "the
# configuration has been updated") is shown only when making the prefix fails.
# A file, not a pipe: the services wineboot starts keep what they inherit.
timeout 300 wineboot -i >"$prefix/wineboot.log" 2>&1 || { cat "$prefix/wineboot.log" >&2; exit 1; }
cp /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/"

settings="$prefix/drive_c/veltrano-settings.reg"
cat >"$settings" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]
"Graphics"="$graphics"

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\\Control Panel\\Desktop]
"LogPixels"=dword:00000060

[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]
"SimSun"="WenQuanYi Micro Hei"
"NSimSun"="WenQuanYi Micro Hei"
REG
timeout 120 wine regedit /S 'C:\veltrano-settings.reg'
rm -f "$settings"
# A multi-string; reg.exe writes it in UTF-16 whatever the locale.
timeout 120 wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
  /v 'Tahoma Bold' /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null
timeout 300 wineserver -w
echo "$wanted" >"$stamp"
