# Shared settings for the scripts: project paths and the project's own Wine
# prefix. Sourced, never run.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="$ROOT/build"
DIST="$ROOT/dist"
export WINEPREFIX="$BUILD/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

# One wineserver for a whole run: programs then start in a fraction of a
# second instead of seconds. Its output must not reach a caller that captures
# ours, or that caller waits for it forever.
start_wineserver() {
    wineserver -p >/dev/null 2>&1 </dev/null &
    wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}

stop_wineserver() {
    wineserver -k >/dev/null 2>&1 || true
}
