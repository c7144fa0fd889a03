# Sourced by ./dev, scripts/quality_gates.sh, fuzz/run.sh and bench/run: the Debian packages the project
# needs, and a function that installs those missing (with sudo when not root).

build_packages=(
    cmake g++ make pkg-config libwayland-dev
    qt6-base-dev libgl-dev libfontconfig-dev
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev libtag1-dev
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-pulseaudio
    fonts-dejavu-core fonts-liberation2
)
# A display, a window manager, a session bus, a sound server with a null sink, and the tools
# that drive and measure them. The journey runs under both sound servers users have
# (PulseAudio, and PipeWire with its PulseAudio service: the two install side by side) and
# under a Wayland compositor with XWayland (sway; xhost lets root onto its display, grim
# takes its screen, Qt's Wayland plugin runs the player there natively, and weston is a
# compositor without any input seat).
test_packages=(
    xvfb xauth openbox xdotool x11-utils x11-apps imagemagick
    pulseaudio pulseaudio-utils sox gstreamer1.0-tools
    pipewire pipewire-pulse wireplumber
    sway xwayland x11-xserver-utils grim qt6-wayland weston
    dbus-daemon dbus-bin playerctl at-spi2-core python3-gi gir1.2-atspi-2.0
    dpkg-dev desktop-file-utils shared-mime-info libglib2.0-bin lintian appstream
)

# What bench/run needs beyond the test tools: an encoder for the tones it plays, and the X
# headers its start-up watcher is built with.
bench_packages=(lame libx11-dev)

install_missing() {
    local p missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -q
    "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}
