# Shared set-up for scripts/test and scripts/run.

OMBRIX_TEST_PACKAGES=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  libgtest-dev libgmock-dev
  libicu-dev libssl-dev openssl nlohmann-json3-dev libsqlite3-dev sqlite3
  qt6-base-dev qt6-pdf-dev qt6-l10n-tools qt6-tools-dev qt6-tools-dev-tools libqt6svg6
  adwaita-icon-theme fonts-dejavu-core xvfb xauth libx11-dev dbus btrfs-progs ccache
  desktop-file-utils
)

# Each step says how long the run has taken so far, so a slow step shows.
step() { printf '\n==> %s (%ds)\n' "$*" "$SECONDS"; }

# Installs what is missing with apt-get when root; otherwise names it and stops.
ensure_packages() {
  local missing=()
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    step "installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
  else
    echo "Missing Debian packages: ${missing[*]}" >&2
    echo "Install them with: sudo apt-get install ${missing[*]}" >&2
    exit 1
  fi
}

# Compiler results are shared between clones of the tree, so a fresh clone
# rebuilds from the cache.
export CCACHE_BASEDIR="$PWD"
export CCACHE_NOHASHDIR=1

configure() {
  local dir=$1
  shift
  local launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
}
