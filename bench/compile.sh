#!/usr/bin/env bash
# Compiles the same help projects with our hhc.exe and with Free Pascal's chmcmd, and
# compresses the same input bytes with gzip -6, in one run; prints wall time, CPU time, peak
# memory and output size, with the ratios.
#
#   bench/compile.sh [BUILD_DIR] [PROJECT.hhp | HELPFILE.chm ...]
#
# A .chm is taken as one that Microsoft's compiler wrote: hh.exe decompiles it, and the rebuilt
# project is measured like the others, with the full-text search option the original was
# compiled with; the size of our recompiled file against the original is printed too.
# Without arguments it measures a Sphinx documentation project (CMake's own reference pages,
# with Sphinx's htmlhelp builder), a folder of generated pages and Inno Setup's help file (see
# bench/projects.sh). Needs sphinx-build (python3-sphinx, python3-sphinxcontrib.htmlhelp),
# chmcmd (fp-utils), npm and GNU time.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
shift || true
hhc="$build/app/hhc.exe"
hh="$build/app/hh.exe"
[[ -x "$hhc" ]] || { echo "no $hhc: build the hhc target first" >&2; exit 1; }
work="${BENCH_WORK:-/tmp/quorlin-bench}"
mkdir -p "$work"

source "$root/bench/projects.sh"

# Runs a command under GNU time in a folder; prints "wall cpu maxrss_kib".
measure() {
    local dir="$1"; shift
    local t="$work/time.txt"
    (cd "$dir" && /usr/bin/time -f '%e %U %S %M' -o "$t" "$@" >/dev/null 2>&1) || true
    awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$t"
}

compiled_name() {
    local hhp="$1" name
    name="$(grep -i '^Compiled file=' "$hhp" | head -1 | cut -d= -f2- | tr -d '\r' || true)"
    [[ -n "$name" ]] || name="$(basename "${hhp%.*}").chm"
    echo "$name"
}

# bench_one PROJECT.hhp [SEARCH [ORIGINAL.chm]]: SEARCH (Yes/No) defaults to $BENCH_SEARCH.
bench_one() {
    local hhp="$1" search="${2:-${BENCH_SEARCH:-Yes}}" original="${3:-}" label
    # Never go on without a real project: the copies below would copy whatever folder is left.
    [[ -f "$hhp" ]] || { echo "no project $hhp" >&2; return 1; }
    label="$(basename "$hhp")"
    local src; src="$(dirname "$hhp")"
    [[ "$src" != "/" ]] || { echo "refusing to copy /" >&2; return 1; }
    # Like with like: both compilers get the same copy, both writing a full-text search index
    # or neither (BENCH_SEARCH=No compares them without one).
    for who in ours theirs; do
        rm -rf "$work/$who"
        cp -r "$src" "$work/$who"
        sed -i -E '/^(Full-text search|Full text search)=/Id' "$work/$who/$label"
        sed -i -E "s/^\[OPTIONS\]\r?\$/[OPTIONS]\nFull-text search=$search/I" "$work/$who/$label"
    done
    local chm; chm="$(compiled_name "$work/ours/$label")"
    chm="${chm//\\//}"

    read -r ow oc om < <(measure "$work/ours" "$hhc" "$label")
    read -r tw tc tm < <(measure "$work/theirs" chmcmd "$label")
    local os ts
    os=$(stat -c %s "$work/ours/$chm" 2>/dev/null || echo 0)
    ts=$(stat -c %s "$work/theirs/$chm" 2>/dev/null || echo 0)

    # gzip -6 over the very bytes our compiler stored: every file of the project folder that
    # a reader extracts from our .chm, concatenated.
    local extracted="$work/extracted"
    rm -rf "$extracted"
    extract_chmLib "$work/ours/$chm" "$extracted" >/dev/null 2>&1 || true
    local concat="$work/input.bin"
    find "$extracted" -type f ! -name '#*' ! -name '$*' -print0 | sort -z | xargs -0 cat > "$concat"
    local inbytes; inbytes=$(stat -c %s "$concat")
    read -r gw gc gm < <(measure "$work" sh -c "gzip -6 -c '$concat' > '$work/input.gz'")
    local gs; gs=$(stat -c %s "$work/input.gz")

    echo
    echo "== $label${original:+ (from $(basename "$original"))}, search $search:" \
        "$(find "$extracted" -type f | wc -l) files, $inbytes bytes stored =="
    printf '%-10s %9s %9s %11s %12s\n' tool wall_s cpu_s peak_KiB output_B
    printf '%-10s %9s %9s %11s %12s\n' hhc.exe "$ow" "$oc" "$om" "$os"
    printf '%-10s %9s %9s %11s %12s\n' chmcmd "$tw" "$tc" "$tm" "$ts"
    printf '%-10s %9s %9s %11s %12s\n' "gzip -6" "$gw" "$gc" "$gm" "$gs"
    # The compressor alone on the same bytes, on one thread.
    local lc=0 ls=0
    if [[ -x "$build/bench/lzx_compress" ]]; then
        read -r lc ls < <("$build/bench/lzx_compress" "$concat")
        printf '%-10s %9s %9s %11s %12s\n' "LZX alone" "-" "$lc" "-" "$ls"
    fi
    local ms=0
    if [[ -n "$original" ]]; then
        ms=$(stat -c %s "$original")
        printf '%-10s %9s %9s %11s %12s\n' Microsoft - - - "$ms"
    fi
    python3 - "$ow" "$oc" "$om" "$os" "$tw" "$tm" "$ts" "$gc" "$inbytes" "$lc" "$ms" <<'PY'
import sys
ow, oc, om, os_, tw, tm, ts, gc, n, lc, ms = map(float, sys.argv[1:])
def r(a, b): return a / b if b else float('inf')
print(f"compile time  hhc/chmcmd      {r(ow, tw):6.3f}  (goal <= 0.1)")
print(f"output size   hhc/chmcmd      {r(os_, ts):6.3f}  (goal <= 1)")
print(f"peak memory   hhc/chmcmd      {r(om, tm):6.3f}  (goal <= 1)")
# Per core: bytes per CPU second, so the threads hhc.exe uses do not count in its favour.
print(f"throughput/core gzip/hhc      {r(n / max(gc, 0.01), n / max(oc, 0.01)):6.3f}  (whole compile, search index included)")
if lc > 0:
    print(f"throughput/core gzip/LZX      {r(n / max(gc, 0.01), n / max(lc, 0.001)):6.3f}  (goal <= 2)")
if ms > 0:
    print(f"output size   hhc/Microsoft   {r(os_, ms):6.3f}  (goal <= 1)")
PY
}

# bench_chm HELPFILE.chm: decompiles a Microsoft-made help file and measures its project.
bench_chm() {
    local chm="$1" name dir hhp search=No
    [[ -x "$hh" ]] || { echo "no $hh: build the hh target first" >&2; return 1; }
    name="$(basename "${chm%.*}")"
    dir="$work/recompile-$name"
    rm -rf "$dir"
    mkdir -p "$dir"
    (cd "$dir" && "$hh" -decompile src "$chm" >/dev/null 2>&1) || true
    hhp="$(find "$dir/src" -maxdepth 1 -iname '*.hhp' | head -1)"
    [[ -n "$hhp" ]] || { echo "hh.exe made no project from $chm" >&2; return 1; }
    # The search option as the original was compiled with (hh.exe reads it from #SYSTEM).
    grep -qiE '^Full.text search=Yes' "$hhp" && search=Yes
    bench_one "$hhp" "$search" "$chm"
}

projects=("$@")
if [[ ${#projects[@]} -eq 0 ]]; then
    sphinx="$(sphinx_project)"
    generated="$(generated_project)"
    projects=("$sphinx" "$generated")
    if innosetup="$(innosetup_chm)"; then
        projects+=("$innosetup")
    fi
fi
for p in "${projects[@]}"; do
    p="$(cd "$(dirname "$p")" && pwd)/$(basename "$p")"
    case "${p,,}" in
        *.chm) bench_chm "$p" ;;
        *) bench_one "$p" ;;
    esac
done
