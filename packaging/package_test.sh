#!/usr/bin/env bash
# The Debian package as a user gets it: built by CPack, its files and control fields, its
# desktop launcher, and the program from it starting in a private X display.
# usage: package_test.sh BUILD_DIR OUTPUT_DIR VERSION
build=$1
out=$2
version=$3
here=$(dirname "$0")
. "$here/../scripts/desktop_session.sh"
fail() {
    echo "FAIL: $*"
    exit 1
}

need cpack dpkg-deb dpkg-shlibdeps desktop-file-validate gio update-mime-database \
    update-desktop-database
mkdir -p "$out"
rm -f "$out"/marrowtune_*.deb
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$session_dir/cpack" >"$session_dir/cpack.log" 2>&1 ||
    { cat "$session_dir/cpack.log"; fail "cpack"; }
debs=("$session_dir"/cpack/marrowtune_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    fail "expected one package, got: ${debs[*]}"
fi
deb=${debs[0]}
cp "$deb" "$out/"
echo "package: $out/$(basename "$deb")"

# Exactly these files, all root's: nothing from the build tree, no tests or benchmarks.
expected="./usr/bin/marrowtune
./usr/lib/marrowtune/marrowtune_tags.so
./usr/share/applications/marrowtune.desktop
./usr/share/mime/packages/marrowtune.xml
./usr/share/icons/hicolor/scalable/apps/marrowtune.svg"
for size in 16 32 48 64 128 256; do
    expected+=$'\n'"./usr/share/icons/hicolor/${size}x${size}/apps/marrowtune.png"
done
listing=$(dpkg-deb -c "$deb")
files=$(awk '$1 !~ /^d/ {print $6}' <<<"$listing" | sort)
[ "$files" = "$(sort <<<"$expected")" ] || fail "package files differ:"$'\n'"$(diff <(sort <<<"$expected") - <<<"$files")"
awk '$2 != "root/root" {exit 1}' <<<"$listing" || fail "files not owned by root: $listing"
grep -q '^-rwxr-xr-x .* \./usr/bin/marrowtune$' <<<"$listing" || fail "program not executable: $listing"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = marrowtune ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), expected $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = sound ] || fail "Section: $(field Section)"
depends=$(field Depends)
for p in libqt6widgets6 libqt6gui6 libqt6core6 libgstreamer1.0-0 \
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good fonts-liberation2; do
    grep -Eq "(^|, )$p( |,|$)" <<<"$depends" || fail "Depends lacks $p: $depends"
done
grep -q gstreamer1.0-pulseaudio <<<"$(field Recommends)" || fail "Recommends: $(field Recommends)"

root="$session_dir/root"
dpkg -x "$deb" "$root"
desktop="$root/usr/share/applications/marrowtune.desktop"
desktop-file-validate "$desktop" || fail "desktop file"
# A key of the main section, not of its actions.
key() { sed -n "/^\[Desktop Action/q; s/^$1=//p" "$desktop"; }
[ "$(key Exec)" = "marrowtune --remember %F" ] || fail "Exec=$(key Exec)"
[ -x "$root/usr/bin/marrowtune" ] || fail "Exec names no packaged program"
enqueue=$(sed -n '/^\[Desktop Action Enqueue\]/,$ s/^Exec=//p' "$desktop")
[ "$enqueue" = "marrowtune --remember --enqueue %F" ] || fail "the Enqueue action runs '$enqueue'"
[ -f "$root/usr/share/icons/hicolor/48x48/apps/$(key Icon).png" ] || fail "Icon=$(key Icon) is not packaged"

# A desktop with only this package's files: file managers see .mlt files as the player's
# lists and offer the player for MP3 files and lists.
data="$root/usr/share"
update-mime-database "$data/mime" || fail "update-mime-database"
update-desktop-database "$data/applications" || fail "update-desktop-database"
printf '/m/a.mp3\r\n' >"$session_dir/some.mlt"
desktop_query() {
    PATH="$root/usr/bin:$PATH" XDG_DATA_DIRS="$data:/usr/share" XDG_DATA_HOME="$session_dir/empty" \
        GIO_USE_VFS=local "$@"
}
type=$(desktop_query gio info -a standard::content-type "$session_dir/some.mlt" |
    sed -n 's/^ *standard::content-type: //p')
[ "$type" = application/x-marrowtune-list ] || fail "some.mlt is seen as '$type'"
for mime in audio/mpeg audio/x-mpegurl audio/x-scpls application/x-marrowtune-list; do
    apps=$(desktop_query gio mime "$mime" 2>&1)
    grep -q marrowtune.desktop <<<"$apps" || fail "not offered for $mime: $apps"
done

# The packaged program, run from the extracted tree, shows its window; the launcher's
# StartupWMClass names it.
start_display
export HOME="$session_dir/home" XDG_DATA_HOME="$session_dir/home/data"
start_player "$root/usr/bin/marrowtune"
wm_class=$(xprop -id "$APP_WINDOW" WM_CLASS)
grep -q "\"$(key StartupWMClass)\"" <<<"$wm_class" || fail "StartupWMClass=$(key StartupWMClass) but $wm_class"
echo "window $APP_WINDOW, $wm_class"
echo PASS
