#!/usr/bin/env bash
# The Debian package as a user gets it: built by CPack, its files and control fields, what
# lintian and appstreamcli say of it, its desktop launcher, and the program from it starting
# in a private X display.
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

need cpack dpkg-deb dpkg-shlibdeps dpkg-parsechangelog desktop-file-validate gio \
    update-mime-database update-desktop-database lintian appstreamcli
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
./usr/lib/marrowtune/modules/marrowtune_tags.so
./usr/share/applications/marrowtune.desktop
./usr/share/mime/packages/marrowtune.xml
./usr/share/icons/hicolor/scalable/apps/marrowtune.svg
./usr/share/man/man1/marrowtune.1.gz
./usr/share/metainfo/org.marrowtune.Marrowtune.metainfo.xml
./usr/share/doc/marrowtune/changelog.gz
./usr/share/doc/marrowtune/copyright"
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
# (Ubuntu 24.04 names the Qt libraries with "t64", for their 64-bit time.)
for p in libqt6widgets6 libqt6gui6 libqt6core6 libgstreamer1.0-0 \
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good fonts-liberation2; do
    grep -Eq "(^|, )$p(t64)?( |,|$)" <<<"$depends" || fail "Depends lacks $p: $depends"
done
grep -q gstreamer1.0-pulseaudio <<<"$(field Recommends)" || fail "Recommends: $(field Recommends)"

root="$session_dir/root"
dpkg -x "$deb" "$root"
# Debian's policy as lintian checks it: any error or warning fails. Informational tags (the
# hardening flags a Debian build would add, an unneeded .comment section) are left to it.
lintian --fail-on error,warning "$deb" || fail "lintian"
# The changelog's newest entry is this version.
zcat "$root/usr/share/doc/marrowtune/changelog.gz" >"$session_dir/changelog"
logged=$(dpkg-parsechangelog -l "$session_dir/changelog" -S Version)
[ "$logged" = "$version" ] || fail "the changelog's newest entry is $logged, the package $version"
# The software centres' metadata, and that the launcher it names is packaged; its newest
# release is this version, of the changelog's day.
appstreamcli validate-tree --no-net "$root" || fail "appstreamcli validate-tree"
metainfo="$root/usr/share/metainfo/org.marrowtune.Marrowtune.metainfo.xml"
logged_day=$(date -u -d "$(dpkg-parsechangelog -l "$session_dir/changelog" -S Date)" +%F)
release=$(grep -o -m1 '<release [^>]*>' "$metainfo")
[ "$release" = "<release version=\"$version\" date=\"$logged_day\">" ] ||
    fail "metainfo's newest $release, the changelog's $version of $logged_day"
desktop="$root/usr/share/applications/marrowtune.desktop"
desktop-file-validate "$desktop" || fail "desktop file"
# A key of the main section, not of its actions.
key() { sed -n "/^\[Desktop Action/q; s/^$1=//p" "$desktop"; }
[ "$(key Exec)" = "marrowtune --remember %F" ] || fail "Exec=$(key Exec)"
[ -x "$root/usr/bin/marrowtune" ] || fail "Exec names no packaged program"
enqueue=$(sed -n '/^\[Desktop Action Enqueue\]/,$ s/^Exec=//p' "$desktop")
[ "$enqueue" = "marrowtune --remember --enqueue %F" ] || fail "the Enqueue action runs '$enqueue'"
[ -f "$root/usr/share/icons/hicolor/48x48/apps/$(key Icon).png" ] || fail "Icon=$(key Icon) is not packaged"
# The software centres' entry opens the launcher's types.
types=$(sed -n 's|.*<mediatype>\(.*\)</mediatype>.*|\1|p' "$metainfo" | sort)
[ "$types" = "$(key MimeType | tr ';' '\n' | sed '/^$/d' | sort)" ] ||
    fail "metainfo's media types are not MimeType=$(key MimeType)"

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
