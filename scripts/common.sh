# Shared by the project's scripts: install what is missing, configure, build.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="${JOBS:-2}"

# Installs the Debian packages named, those not yet present, when we are root.
ensure_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing packages: ${missing[*]} (run as root or install them)" >&2
        return 1
    fi
    echo "installing: ${missing[*]}" >&2
    if [ -z "${SKARVEL_APT_UPDATED:-}" ]; then
        apt-get update -qq >&2
        export SKARVEL_APT_UPDATED=1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

# Adds a foreign dpkg architecture (i386, for wine32) when missing; its package
# lists come with the next apt-get update, which ensure_packages then makes.
ensure_architecture() {
    dpkg --print-foreign-architectures | grep -qx "$1" && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "dpkg architecture $1 missing (run as root or add it)" >&2
        return 1
    fi
    echo "adding dpkg architecture $1" >&2
    dpkg --add-architecture "$1"
    unset SKARVEL_APT_UPDATED
}

# run_stage NAME COMMAND...: runs one stage of the tests and says how long it took.
run_stage() {
    local name="$1" start=$SECONDS
    shift
    echo "== stage $name" >&2
    "$@"
    echo "== stage $name passed in $((SECONDS - start)) s" >&2
}

BASE_PACKAGES=(g++ cmake ninja-build libgtest-dev libbenchmark-dev python3 libcli11-dev libpng-dev)

# configure_and_build BUILD_DIR [cmake args...]
configure_and_build() {
    local dir="$1"; shift
    cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$JOBS"
}
