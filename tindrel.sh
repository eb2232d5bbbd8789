#!/usr/bin/env bash
# Tindrel's one entry point on a Debian 12 machine.
#   ./tindrel.sh run [FILE]   install what is missing, build, start the player
#   ./tindrel.sh test         install what is missing, build, run every test
#   ./tindrel.sh bench        install what is missing, build, run the benchmarks
#   ./tindrel.sh install [PREFIX]   install the program and its desktop entry (default ~/.local)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="${TINDREL_BUILD_DIR:-$here/build}"

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6-dev
    libsndfile1-dev libvorbis-dev libmpg123-dev libarchive-dev
    libavformat-dev libavcodec-dev libswresample-dev libavutil-dev ffmpeg
    librubberband-dev portaudio19-dev libasound2-dev libjack-jackd2-dev
    dbus-daemon shared-mime-info desktop-file-utils
    libgtest-dev libgmock-dev libebur128-dev
    libxcb1-dev fonts-inter fonts-noto-color-emoji locales xvfb xauth
    xdotool x11-utils trayer openssl python3 clang libclang-rt-14-dev
)

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if ((${#missing[@]})); then
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
    # Tests check that numbers and names ignore a comma-decimal and a Turkish locale.
    if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf8$' ||
        ! locale -a 2>/dev/null | grep -qi '^tr_TR\.utf8$'; then
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo sed -i -e 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' \
            -e 's/^# *tr_TR.UTF-8 UTF-8/tr_TR.UTF-8 UTF-8/' /etc/locale.gen
        $sudo locale-gen >/dev/null
    fi
}

configure_and_build() {
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" --parallel "$(nproc)"
}

command="${1:-}"
shift || true
case "$command" in
    test)
        install_missing
        configure_and_build
        cd "$build"
        QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)" --timeout 600
        ;;
    run)
        install_missing
        configure_and_build
        exec "$build/Tindrel/shell/tindrel" "$@"
        ;;
    bench)
        install_missing
        configure_and_build
        exec "$here/bench/run" "$build"
        ;;
    install)
        install_missing
        configure_and_build
        prefix="${1:-$HOME/.local}"
        # The program lives in one folder (binary, icon, desktop entry, MIME definition) that
        # the self-update can swap whole; the desktop finds it through a symlink and copies.
        bundle="$prefix/opt/Tindrel.app"
        cmake --install "$build" --prefix "$bundle"
        mkdir -p "$prefix/bin" "$prefix/share/applications" "$prefix/share/mime/packages" \
            "$prefix/share/icons/hicolor/scalable/apps"
        ln -sfn "$bundle/bin/tindrel" "$prefix/bin/tindrel"
        # Quoted as desktop entries want it: \, ", ` and $ take a backslash inside quotes.
        program="$(printf '%s' "$bundle/bin/tindrel" | sed 's/[\\"`$]/\\&/g')"
        while IFS= read -r line; do
            case "$line" in
                Exec=*) printf 'Exec="%s" %%F\n' "$program" ;;
                *) printf '%s\n' "$line" ;;
            esac
        done <"$bundle/share/applications/com.orlimar.tindrel.desktop" \
            >"$prefix/share/applications/com.orlimar.tindrel.desktop"
        cp "$bundle/share/mime/packages/com.orlimar.tindrel-caf.xml" "$prefix/share/mime/packages/"
        cp "$bundle/share/icons/hicolor/scalable/apps/com.orlimar.tindrel.svg" \
            "$prefix/share/icons/hicolor/scalable/apps/"
        update-desktop-database "$prefix/share/applications" 2>/dev/null || true
        update-mime-database "$prefix/share/mime" 2>/dev/null || true
        ;;
    *)
        sed -n '2,7p' "$0"
        exit 2
        ;;
esac
