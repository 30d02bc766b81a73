# Sourced by the other scripts: installs the Debian packages a job needs when
# they are missing (Debian 12). Uses sudo only when not already root.
#   vornix_need_packages pkg [pkg:i386 ...]

# Everything a native build of the plug-in, vornix-render, the tests and the
# benchmarks needs.
VORNIX_BUILD_PACKAGES=(build-essential cmake pkg-config g++ libtinyxml2-dev libsndfile1-dev libcli11-dev
                       libgtest-dev googletest libbenchmark-dev python3 python3-numpy python3-scipy
                       libfltk1.3-dev libx11-dev libxext-dev libxft-dev libxinerama-dev libxcursor-dev
                       libxfixes-dev libxrender-dev libfontconfig-dev libfreetype-dev
                       xvfb xdotool x11-utils imagemagick)
# The 32-bit x86 build: multilib compiler, GoogleTest sources, i386 libraries
# (FLTK and X11 for the editor program the 32-bit plug-in carries).
VORNIX_I386_PACKAGES=(g++-multilib googletest libtinyxml2-dev:i386
                      libfltk1.3-dev:i386 libx11-dev:i386 libxext-dev:i386 libxft-dev:i386 libxinerama-dev:i386
                      libxcursor-dev:i386 libxfixes-dev:i386 libxrender-dev:i386 libfontconfig-dev:i386
                      libfreetype-dev:i386)
# The fuzzers: clang with its sanitizer and libFuzzer runtimes.
VORNIX_FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# Checks in a real host (headless Ardour 7).
VORNIX_HOST_PACKAGES=(ardour bc python3)

vornix_sudo() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null; then
        sudo "$@"
    else
        echo "error: need root (or sudo) to run: $*" >&2
        return 1
    fi
}

vornix_need_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        if [[ $pkg == *:i386 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
            echo "== enabling the i386 package architecture"
            vornix_sudo dpkg --add-architecture i386
            VORNIX_APT_UPDATED=
        fi
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "== installing Debian packages: ${missing[*]}"
    if [ -z "${VORNIX_APT_UPDATED:-}" ]; then
        vornix_sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
        VORNIX_APT_UPDATED=1
    fi
    vornix_sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Debian's Python, which has python3-numpy (a python3 earlier on PATH may not).
VORNIX_PYTHON=${VORNIX_PYTHON:-/usr/bin/python3}

vornix_jobs() {
    # Parallel build jobs: VORNIX_JOBS, else every core.
    echo "${VORNIX_JOBS:-$(nproc)}"
}
