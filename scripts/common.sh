# Shared by run.sh and test.sh: install what is missing, then configure and build.

JEERBOX_PACKAGES=(
  build-essential cmake pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libgl-dev libqt6svg6
  libsdl2-dev libsndfile1-dev libsoxr-dev libebur128-dev
  libgtest-dev libgmock-dev
  xvfb xauth pulseaudio pulseaudio-utils sox
  fonts-liberation2 desktop-file-utils
  help2man appstream man-db bash-completion
  weston qt6-wayland
  pipewire pipewire-pulse pipewire-bin wireplumber dbus python3
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_missing() {
  local missing=()
  for p in "${JEERBOX_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
  fi
}

# build DIR [cmake options...]
build() {
  local dir=$1
  shift
  # Rebuilds reuse what an earlier build of the same source compiled, also from another
  # checkout of the tree (paths are taken relative to the checkout).
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
  # JEERBOX_WERROR=ON (CI sets it) turns every compiler warning into an error.
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
    -DJEERBOX_WERROR="${JEERBOX_WERROR:-OFF}" "$@"
  cmake --build "$dir" -j "$(nproc)"
}
