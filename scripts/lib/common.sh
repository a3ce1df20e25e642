# Shared settings for the scripts: project paths and the project's own Wine
# prefix. Sourced, never run.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="$ROOT/build"
DIST="$ROOT/dist"
export WINEPREFIX="$BUILD/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

# Wine's own launcher starts every program through its 32-bit loader when
# that is installed, and some kernels cannot run 32-bit Linux programs at all
# (built without 32-bit emulation). There Wine runs through its 64-bit loader
# alone: 64-bit Windows programs run, 32-bit ones cannot start, and the tests
# that need one say so and are skipped. VH_RUNS_32_BIT tells which it is.
choose_wine_loader() {
    if [[ -x /usr/lib/wine/wine ]] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
        export VH_RUNS_32_BIT=1
    elif [[ -x /usr/lib/wine/wine64 ]]; then
        export VH_RUNS_32_BIT=0
        case ":$PATH:" in
            *":$ROOT/scripts/lib/wine64-only:"*) ;;
            *) export PATH="$ROOT/scripts/lib/wine64-only:$PATH" ;;
        esac
    fi
}
choose_wine_loader

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
