#!/usr/bin/env bash
# Opening speed and memory of our viewer (hh.exe FILE.chm) against KchmViewer on the same help
# files, in one run, under one Xvfb server the script starts. Per file and per program, the
# medians of RUNS runs (programs alternating) of:
#   window  - ms from launch to the program's top-level window first mapped and visible, seen by
#             the same external probe for both (xdotool, polled every 10 ms);
#   page    - ms from launch to hh.exe's start page ready (its QUORLIN_HH_TRACE line); KchmViewer
#             tells nobody when its page is done, so it shows "n/a";
#   PSS     - summed proportional set size of the program and all its descendants (the engine's
#             helper processes), in MB of 10^6 bytes, taken 3 s after the window shows and for
#             hh.exe no sooner than 1 s after its start page is ready.
# Then the ratio hh.exe / KchmViewer of the window time (goal <= 1) and both memory figures
# (goal: hh.exe under 300 MB).
#
#   bench/viewer.sh [BUILD_DIR] [FILE.chm ...]
#
# Without files it compiles, with our hhc.exe, the Sphinx project of CMake's reference pages and
# the generated pages of bench/compile.sh (with a full-text search index, a file of several MB),
# and adds any /usr/share/doc/*/*.chm. Installs Xvfb, xdotool and KchmViewer with apt-get when
# missing (as root). BENCH_RUNS sets the runs (3), BENCH_TIMEOUT the seconds a program may take
# to show its window (30). Not run in CI.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
shift || true
hh="$build/app/hh.exe"
hhc="$build/app/hhc.exe"
[[ -x "$hh" ]] || { echo "no $hh: build the hh target first" >&2; exit 1; }
work="${BENCH_WORK:-/tmp/quorlin-bench}"
runs="${BENCH_RUNS:-3}"
timeout_s="${BENCH_TIMEOUT:-30}"
mkdir -p "$work"

# need PACKAGE COMMAND: installs the Debian package when the command is missing.
need() {
    command -v "$2" >/dev/null && return 0
    if [[ $(id -u) -eq 0 ]] && command -v apt-get >/dev/null; then
        echo "installing $1..." >&2
        DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$1" >/dev/null ||
            { apt-get update >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$1" >/dev/null; }
    fi
    command -v "$2" >/dev/null || { echo "$2 is not installed (package $1)" >&2; exit 1; }
}
need xvfb Xvfb
need xdotool xdotool
need kchmviewer kchmviewer

# The projects bench/compile.sh measures, so both benchmarks see the same pages (they cache
# under $work).
source "$root/bench/projects.sh"

# compile_copy PROJECT.hhp: compiles a copy of the project with our hhc.exe, with a full-text
# search index; prints the help file.
compile_copy() {
    local hhp="$1" name dest chm
    [[ -x "$hhc" ]] || { echo "no $hhc: build the hhc target first" >&2; return 1; }
    name="$(basename "${hhp%.*}")"
    dest="$work/viewer-$name"
    rm -rf "$dest"
    cp -r "$(dirname "$hhp")" "$dest"
    sed -i -E '/^(Full-text search|Full text search)=/Id' "$dest/$name.hhp"
    sed -i -E 's/^\[OPTIONS\]\r?$/[OPTIONS]\nFull-text search=Yes/I' "$dest/$name.hhp"
    chm="$(grep -i '^Compiled file=' "$dest/$name.hhp" | head -1 | cut -d= -f2- | tr -d '\r')"
    (cd "$dest" && "$hhc" "$name.hhp" >/dev/null 2>&1) || true
    [[ -f "$dest/$chm" ]] || { echo "hhc.exe made no $chm from $hhp" >&2; return 1; }
    echo "$dest/$chm"
}

files=("$@")
if [[ ${#files[@]} -eq 0 ]]; then
    files+=("$(compile_copy "$(sphinx_project)")")
    files+=("$(compile_copy "$(generated_project)")")
    for f in /usr/share/doc/*/*.chm; do [[ -f "$f" ]] && files+=("$f"); done
fi

# One X server for both programs, on a display number it picks itself, and a scratch home
# both programs share, so neither reads settings left by anyone else.
scratch="$(mktemp -d)"
xvfb_pid=""
viewer_pid=""
cleanup() {
    [[ -z "$viewer_pid" ]] || stop "$viewer_pid"
    [[ -z "$xvfb_pid" ]] || { kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null || true; }
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$scratch/display" >"$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
for ((i = 0; i < 100; i++)); do
    [[ -s "$scratch/display" ]] && break
    sleep 0.1
done
[[ -s "$scratch/display" ]] || { echo "Xvfb did not start: $(cat "$scratch/xvfb.log")" >&2; exit 1; }
display=":$(head -1 "$scratch/display")"
mkdir -p "$scratch/home" "$scratch/run"
chmod 700 "$scratch/run"
# The same environment for both. KchmViewer's web engine (if it is a Chromium one) refuses to
# run as root with its sandbox; hh.exe turns it off by itself then, and the variable asks the
# same of any other.
viewer_env=(env -u WAYLAND_DISPLAY DISPLAY="$display" QT_QPA_PLATFORM=xcb HOME="$scratch/home"
    XDG_RUNTIME_DIR="$scratch/run" XDG_CONFIG_HOME="$scratch/home/.config"
    XDG_CACHE_HOME="$scratch/home/.cache" XDG_DATA_HOME="$scratch/home/.local/share"
    QTWEBENGINE_DISABLE_SANDBOX=1 QUORLIN_HH_TRACE=1)

now_ms() { local t=$EPOCHREALTIME; echo $((${t/./} / 1000)); }
descendants() { # PID: every process below it, deepest first
    local child
    for child in $(ps -o pid= --ppid "$1" 2>/dev/null); do
        descendants "$child"
        echo "$child"
    done
}
pss_kib() { # PID...: summed PSS
    local p sum=0 v
    for p in "$@"; do
        v=$(awk '/^Pss:/ { print $2 }' "/proc/$p/smaps_rollup" 2>/dev/null || true)
        sum=$((sum + ${v:-0}))
    done
    echo "$sum"
}
alive() { [[ -d /proc/$1 ]] && ! grep -q '^[0-9]* (.*) Z' "/proc/$1/stat" 2>/dev/null; }
# stop PID: asks the program and its helpers to end, then forces whatever is left after 5 s.
stop() {
    local pid=$1 all p i
    mapfile -t all < <(descendants "$pid")
    all+=("$pid")
    kill -TERM "${all[@]}" 2>/dev/null || true
    for ((i = 0; i < 50; i++)); do
        for p in "${all[@]}"; do alive "$p" && break; p=""; done
        [[ -z "$p" ]] && break
        sleep 0.1
    done
    kill -KILL "${all[@]}" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

# run_once hh|kchm FILE: prints "window_ms page_ms pss_kib" ("-" for what did not come).
run_once() {
    local who=$1 file=$2 log="$scratch/stderr" t0 pid shown="" page="-" line deadline settle
    local cmd=("$hh" "$file")
    [[ $who == kchm ]] && cmd=(kchmviewer "$file")
    t0=$(now_ms)
    "${viewer_env[@]}" "${cmd[@]}" >/dev/null 2>"$log" &
    pid=$!
    viewer_pid=$pid
    deadline=$((t0 + timeout_s * 1000))
    while alive "$pid" && (($(now_ms) < deadline)); do
        if DISPLAY="$display" xdotool search --onlyvisible --pid "$pid" >/dev/null 2>&1; then
            shown=$(($(now_ms) - t0))
            break
        fi
        sleep 0.01
    done
    if [[ -z "$shown" ]]; then
        echo "$who showed no window on $(basename "$file"): $(tail -3 "$log" | tr '\n' ' ')" >&2
        stop "$pid"
        viewer_pid=""
        echo "- - -"
        return
    fi
    settle=$((t0 + shown + 3000))
    if [[ $who == hh ]]; then
        while alive "$pid" && (($(now_ms) < deadline)); do
            line=$(grep -m1 '^hh-trace page ' "$log" || true)
            [[ -n "$line" ]] && break
            sleep 0.02
        done
        if [[ -n "$line" ]]; then
            page=$((${line##* } - t0))
            ((t0 + page + 1000 > settle)) && settle=$((t0 + page + 1000))
        fi
    fi
    while alive "$pid" && (($(now_ms) < settle)); do sleep 0.05; done
    local pss=- helpers
    if alive "$pid"; then
        mapfile -t helpers < <(descendants "$pid")
        pss=$(pss_kib "$pid" "${helpers[@]}")
    fi
    stop "$pid"
    viewer_pid=""
    echo "$shown $page $pss"
}

median() { { grep -v '^-$' || true; } | sort -n | awk '{ a[NR] = $1 } END { print NR ? a[int((NR + 1) / 2)] : "-" }'; }

# Both programs once, untimed, so neither pays for loading its libraries from disk.
run_once hh "${files[0]}" >/dev/null
run_once kchm "${files[0]}" >/dev/null

echo "display $display, $runs runs each, load average $(cut -d' ' -f1-3 /proc/loadavg)"
for file in "${files[@]}"; do
    file="$(cd "$(dirname "$file")" && pwd)/$(basename "$file")"
    : >"$scratch/hh.txt"
    : >"$scratch/kchm.txt"
    for ((r = 0; r < runs; r++)); do
        if ((r % 2 == 0)); then order=(hh kchm); else order=(kchm hh); fi
        for who in "${order[@]}"; do run_once "$who" "$file" >>"$scratch/$who.txt"; done
    done
    read -r hw hp hm <<<"$(for c in 1 2 3; do cut -d' ' -f$c "$scratch/hh.txt" | median; done | xargs)"
    read -r kw _ km <<<"$(for c in 1 2 3; do cut -d' ' -f$c "$scratch/kchm.txt" | median; done | xargs)"
    echo
    echo "== $(basename "$file"): $(($(stat -c %s "$file") / 1024)) KiB =="
    printf '%-11s %10s %8s %8s   %s\n' program window_ms page_ms PSS_MB "runs (window/page/PSS KiB)"
    printf '%-11s %10s %8s %8s   %s\n' hh.exe "$hw" "$hp" \
        "$(awk -v k="$hm" 'BEGIN { print k == "-" ? "-" : sprintf("%.1f", k * 1024 / 1e6) }')" \
        "$(tr '\n' ',' <"$scratch/hh.txt" | sed 's/,$//; s/ /\//g')"
    printf '%-11s %10s %8s %8s   %s\n' KchmViewer "$kw" n/a \
        "$(awk -v k="$km" 'BEGIN { print k == "-" ? "-" : sprintf("%.1f", k * 1024 / 1e6) }')" \
        "$(tr '\n' ',' <"$scratch/kchm.txt" | sed 's/,$//; s/ /\//g')"
    awk -v hw="$hw" -v kw="$kw" -v hm="$hm" -v km="$km" 'BEGIN {
        if (hw != "-" && kw != "-" && kw > 0)
            printf "window time  hh.exe/KchmViewer  %6.3f  (goal <= 1)\n", hw / kw
        if (hm != "-" && km != "-")
            printf "memory (PSS) hh.exe %.1f MB, KchmViewer %.1f MB  (goal: hh.exe < 300 MB)\n",
                hm * 1024 / 1e6, km * 1024 / 1e6
    }'
done
