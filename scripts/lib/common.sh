# Shared settings for the scripts: project paths and the project's own Wine
# prefix. Sourced, never run.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd -P)"
BUILD="$ROOT/build"
DIST="$ROOT/dist"
export WINEPREFIX="$BUILD/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

# The time the programs' stamps and the zip's entries carry: the caller's
# SOURCE_DATE_EPOCH, else the time of this tree's last commit. A rebuild of the
# same commit then gives the same bytes, whenever and wherever it runs. Only
# this tree's own history counts, not that of a repository it may lie inside.
set_source_date_epoch() {
    if [[ -z "${SOURCE_DATE_EPOCH:-}" ]] &&
        [[ "$(git -C "$ROOT" rev-parse --show-toplevel 2>/dev/null)" == "$ROOT" ]]; then
        SOURCE_DATE_EPOCH="$(git -C "$ROOT" log -1 --format=%ct 2>/dev/null || true)"
    fi
    if [[ -z "${SOURCE_DATE_EPOCH:-}" ]]; then
        echo "note: no SOURCE_DATE_EPOCH and no git history: the programs carry the build's own time" >&2
        unset SOURCE_DATE_EPOCH
        return 0
    fi
    if [[ ! "$SOURCE_DATE_EPOCH" =~ ^[0-9]+$ ]]; then
        echo "error: SOURCE_DATE_EPOCH must be seconds since 1970 (a whole number), not '$SOURCE_DATE_EPOCH'" >&2
        return 1
    fi
    export SOURCE_DATE_EPOCH
}

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
