#!/usr/bin/env bash
# Tindrel's one entry point on a Debian 12 machine.
#   ./tindrel.sh run [FILE]   install what is missing, build, start the player
#   ./tindrel.sh test         install what is missing, build, run every test
#   ./tindrel.sh bench        install what is missing, build, run the benchmarks
#   ./tindrel.sh install [PREFIX]   install the program and its desktop entry (default ~/.local)
#   ./tindrel.sh sanitize     run every test built with AddressSanitizer and UBSan (build-asan)
#   ./tindrel.sh tsan         run the engine and store tests under ThreadSanitizer (build-tsan)
#   ./tindrel.sh fuzz [SECONDS]   fuzz the file loader, SECONDS per extension (default 60)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="${TINDREL_BUILD_DIR:-$here/build}"

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev
    libsndfile1-dev libvorbis-dev libmpg123-dev libarchive-dev libxxhash-dev
    libavformat-dev libavcodec-dev libswresample-dev libavutil-dev ffmpeg
    librubberband-dev portaudio19-dev libasound2-dev libjack-jackd2-dev libdbus-1-dev
    dbus-daemon shared-mime-info desktop-file-utils
    libgtest-dev libgmock-dev libebur128-dev
    libxcb1-dev fonts-inter fonts-noto-color-emoji locales xvfb xauth
    xdotool x11-utils trayer openbox openssl python3 clang libclang-rt-14-dev
)
# Tests check that numbers and names ignore a comma-decimal and a Turkish locale.
test_locales=(de_DE.UTF-8 tr_TR.UTF-8)

# Prints the listed packages that no installed package is or provides, one per line. One
# dpkg-query call: a virtual name counts as present when an installed package provides it.
missing_packages() {
    dpkg-query -W -f='${db:Status-Abbrev}|${Package}|${Provides}\n' 2>/dev/null |
        awk -F'|' '$1 ~ /^ii/ {
                print $2
                n = split($3, provided, ",")
                for (i = 1; i <= n; i++) { split(provided[i], words, " "); print words[1] }
            }' |
        sort -u |
        comm -13 - <(printf '%s\n' "$@" | sort -u)
}

# Prints the listed locales that are not generated yet.
missing_locales() {
    local available
    available="$(locale -a 2>/dev/null | tr '[:upper:]' '[:lower:]')"
    for name in "$@"; do
        local short="${name%.UTF-8}.utf8"
        grep -qx "${short,,}" <<<"$available" || echo "$name"
    done
}

# Installs what is missing as root; tells a user in one line what is missing and the one
# command that installs it, and stops. Nothing asks the package manager when all is there.
install_missing() {
    local need_locales="${1:-yes}" missing locales=()
    mapfile -t missing < <(missing_packages "${packages[@]}")
    [ "$need_locales" = no ] || mapfile -t locales < <(missing_locales "${test_locales[@]}")
    ((${#missing[@]} + ${#locales[@]})) || return 0
    local edits=()
    for name in "${locales[@]}"; do edits+=(-e "s/^# *$name UTF-8/$name UTF-8/"); done
    if [ "$(id -u)" -ne 0 ]; then
        local steps=()
        ((${#missing[@]})) &&
            steps+=("apt-get update && apt-get install --no-install-recommends ${missing[*]}")
        ((${#locales[@]})) && steps+=("sed -i ${edits[*]@Q} /etc/locale.gen && locale-gen")
        local script
        script="$(printf '%s && ' "${steps[@]}")"
        script="${script% && }"
        echo "tindrel: missing ${missing[*]}${locales[*]:+ locales ${locales[*]}};" \
            "install with: sudo sh -c ${script@Q}" >&2
        exit 1
    fi
    if ((${#missing[@]})); then
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
    if ((${#locales[@]})); then
        sed -i "${edits[@]}" /etc/locale.gen
        locale-gen >/dev/null
    fi
}

# Builds targets $1... (everything when none is given).
configure_and_build() {
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" --parallel "$(nproc)" ${1:+--target "$@"}
}

# Builds the tests with sanitizers $2 in their own folder $1; only targets $3... when given.
# -O1 with line tables keeps the build short and the reports exact.
configure_and_build_sanitized() {
    local folder="$1" sanitize="$2"
    shift 2
    cmake -S "$here" -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
        -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
        -DTINDREL_BUILD_BENCH=OFF -DTINDREL_SANITIZE="$sanitize" >/dev/null
    cmake --build "$folder" --parallel "$(nproc)" ${1:+--target "$@"}
}

sanitizers="$here/tests/sanitizers"

command="${1:-}"
shift || true
case "$command" in
    test)
        install_missing
        configure_and_build
        cd "$build"
        QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)" --timeout 600
        ;;
    sanitize)
        install_missing
        asan_build="${TINDREL_ASAN_BUILD_DIR:-$here/build-asan}"
        configure_and_build_sanitized "$asan_build" address,undefined
        cd "$asan_build"
        ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1" \
        LSAN_OPTIONS="suppressions=$sanitizers/leaks.supp:print_suppressions=0" \
        UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
        QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)" --timeout 900
        ;;
    tsan)
        install_missing
        tsan_build="${TINDREL_TSAN_BUILD_DIR:-$here/build-tsan}"
        tsan_tests=(test_AudioEngine test_AudioOutput test_RingBuffer test_RenderAheadQueue test_WarpCharacter
            test_StalledRead
            test_store test_store_values test_StoreSoak)
        configure_and_build_sanitized "$tsan_build" thread "${tsan_tests[@]}"
        status=0
        for name in "${tsan_tests[@]}"; do
            echo "== $name"
            # Qt itself is not instrumented; its queued hand-offs are listed as known races.
            TSAN_OPTIONS="suppressions=$sanitizers/threads.supp:halt_on_error=1:second_deadlock_stack=1" \
            QT_QPA_PLATFORM=offscreen "$(find "$tsan_build/tests" -type f -name "$name")" \
                --gtest_brief=1 || status=1
        done
        exit "$status"
        ;;
    fuzz)
        install_missing no
        exec "$here/tests/fuzz/run" "$here" "${TINDREL_FUZZ_BUILD_DIR:-$here/build-fuzz}" "${1:-60}"
        ;;
    run)
        install_missing no
        configure_and_build tindrel
        exec "$build/Tindrel/shell/tindrel" "$@"
        ;;
    bench)
        install_missing no
        configure_and_build
        exec "$here/bench/run" "$build"
        ;;
    install)
        install_missing no
        configure_and_build tindrel
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
