#!/usr/bin/env bash
# Compiles the same help projects with our hhc.exe and with Free Pascal's chmcmd, and
# compresses the same input bytes with gzip -6, in one run; prints wall time, CPU time, peak
# memory and output size, with the ratios.
#
#   bench/compile.sh [BUILD_DIR] [PROJECT.hhp ...]
#
# Without projects it builds a Sphinx documentation project (CMake's own reference pages, with
# Sphinx's htmlhelp builder) and a folder of generated pages, and measures both. Needs
# sphinx-build (python3-sphinx, python3-sphinxcontrib.htmlhelp), chmcmd (fp-utils) and GNU time.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
shift || true
hhc="$build/app/hhc.exe"
[[ -x "$hhc" ]] || { echo "no $hhc: build the hhc target first" >&2; exit 1; }
work="${BENCH_WORK:-/tmp/quorlin-bench}"
mkdir -p "$work"

sphinx_project() {
    local src="$work/sphinx-src" out="$work/sphinx-out"
    if [[ ! -f "$out/CMakeReference.hhp" ]]; then
        rm -rf "$src" "$out"
        mkdir -p "$src"
        local help=/usr/share/cmake-*/Help
        for part in command module variable prop_tgt policy; do
            cp -r $help/$part "$src/"
        done
        cat > "$src/conf.py" <<'PY'
project = 'CMake Reference'
htmlhelp_basename = 'CMakeReference'
extensions = ['sphinxcontrib.htmlhelp']
exclude_patterns = []
PY
        {
            echo "CMake reference"
            echo "==============="
            echo
            echo ".. toctree::"
            echo "   :glob:"
            echo
            for part in command module variable prop_tgt policy; do echo "   $part/*"; done
        } > "$src/index.rst"
        # CMake's own Sphinx extension is not installed: its roles become plain text, which
        # costs warnings but no pages.
        sphinx-build -q -b htmlhelp -j 2 "$src" "$out" >/dev/null 2>&1 || true
    fi
    [[ -f "$out/CMakeReference.hhp" ]] || { echo "sphinx-build made no project" >&2; return 1; }
    echo "$out/CMakeReference.hhp"
}

generated_project() {
    local dir="$work/generated"
    if [[ ! -f "$dir/pages.hhp" ]]; then
        rm -rf "$dir"
        mkdir -p "$dir/img"
        python3 - "$dir" <<'PY'
import os, random, sys
d = sys.argv[1]
random.seed(7)
words = open('/usr/share/dict/words').read().split() if os.path.exists('/usr/share/dict/words') else \
    [''.join(random.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(random.randint(2, 10))) for _ in range(5000)]
files = []
toc = ['<UL>']
for i in range(1500):
    name = f'page{i:04}.htm'
    body = '\n'.join('<p>' + ' '.join(random.choice(words) for _ in range(60)) + '</p>' for _ in range(12))
    open(os.path.join(d, name), 'w').write(f'<html><head><title>Page {i}</title></head><body><img src="img/i{i % 100}.gif">{body}</body></html>\n')
    files.append(name)
    toc.append(f'<LI><OBJECT type="text/sitemap"><param name="Name" value="Page {i}"><param name="Local" value="{name}"></OBJECT>')
for i in range(100):
    open(os.path.join(d, 'img', f'i{i}.gif'), 'wb').write(os.urandom(2000))
open(os.path.join(d, 'pages.hhc'), 'w').write('\n'.join(toc + ['</UL>']) + '\n')
open(os.path.join(d, 'pages.hhp'), 'w').write('[OPTIONS]\nCompiled file=pages.chm\nContents file=pages.hhc\nDefault topic=page0000.htm\nTitle=Pages\nDisplay compile progress=No\n\n[FILES]\n' + '\n'.join(files) + '\n')
PY
    fi
    echo "$dir/pages.hhp"
}

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

bench_one() {
    local hhp="$1" label
    # Never go on without a real project: the copies below would copy whatever folder is left.
    [[ -f "$hhp" ]] || { echo "no project $hhp" >&2; return 1; }
    label="$(basename "$hhp")"
    local src; src="$(dirname "$hhp")"
    [[ "$src" != "/" ]] || { echo "refusing to copy /" >&2; return 1; }
    # Like with like: both compilers get the same copy, both writing a full-text search index
    # (BENCH_SEARCH=No compares them without one).
    for who in ours theirs; do
        rm -rf "$work/$who"
        cp -r "$src" "$work/$who"
        sed -i -E '/^(Full-text search|Full text search)=/Id' "$work/$who/$label"
        sed -i -E "s/^\[OPTIONS\]\r?\$/[OPTIONS]\nFull-text search=${BENCH_SEARCH:-Yes}/I" "$work/$who/$label"
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
    echo "== $label: $(find "$extracted" -type f | wc -l) files, $inbytes bytes stored =="
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
    python3 - "$ow" "$oc" "$om" "$os" "$tw" "$tm" "$ts" "$gc" "$inbytes" "$lc" <<'PY'
import sys
ow, oc, om, os_, tw, tm, ts, gc, n, lc = map(float, sys.argv[1:])
def r(a, b): return a / b if b else float('inf')
print(f"compile time  hhc/chmcmd      {r(ow, tw):6.3f}  (goal <= 0.1)")
print(f"output size   hhc/chmcmd      {r(os_, ts):6.3f}  (goal <= 1)")
print(f"peak memory   hhc/chmcmd      {r(om, tm):6.3f}  (goal <= 1)")
# Per core: bytes per CPU second, so the threads hhc.exe uses do not count in its favour.
print(f"throughput/core gzip/hhc      {r(n / max(gc, 0.01), n / max(oc, 0.01)):6.3f}  (whole compile, search index included)")
if lc > 0:
    print(f"throughput/core gzip/LZX      {r(n / max(gc, 0.01), n / max(lc, 0.001)):6.3f}  (goal <= 2)")
PY
}

projects=("$@")
if [[ ${#projects[@]} -eq 0 ]]; then
    sphinx="$(sphinx_project)"
    generated="$(generated_project)"
    projects=("$sphinx" "$generated")
fi
for p in "${projects[@]}"; do
    bench_one "$(cd "$(dirname "$p")" && pwd)/$(basename "$p")"
done
