#!/usr/bin/env bash
# Decompile speed of hh.exe against extract_chmLib and 7-Zip on the same help files, in one
# run, with the ratios (hh.exe time / peer time; below 1 means hh.exe is faster). Each tool
# runs RUNS times per file into a fresh folder; the medians of wall and CPU time count. hh.exe's output
# is also compared with extract_chmLib's, byte for byte, less the compiler's internal files.
#
# usage: bench/decompile.sh [-b BUILD_DIR] [-n RUNS] [FILE.chm ...]
# With no files it measures the repository's fixture, Inno Setup's help file (written by
# Microsoft's compiler; see bench/projects.sh), the Sphinx project of bench/projects.sh compiled
# by our hhc.exe with its search index (6 MB of pages) and a large help file built from
# generated pages, once by chmcmd and once by our hhc.exe.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build"
runs=5
while getopts "b:n:" opt; do
    case $opt in
        b) build="$OPTARG" ;;
        n) runs="$OPTARG" ;;
        *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
build="$(cd "$build" && pwd)"
hh="$build/app/hh.exe"
hhc="$build/app/hhc.exe"
[ -x "$hh" ] || { echo "no $hh: build the hh target first" >&2; exit 1; }
for tool in extract_chmLib 7z; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 1; }
done

# Output goes to memory (/dev/shm) unless TMPDIR says otherwise: creating thousands of small
# files on a busy disk costs both tools alike and only adds noise to the ratio.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi
echo "output folders under ${TMPDIR:-/tmp}" >&2
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

files=("$@")
if [ ${#files[@]} -eq 0 ]; then
    files+=("$root/libs/chm/tests/fixtures/sample.chm")
    # The benchmark projects live in the folder bench/compile.sh uses, made once.
    work_projects="${BENCH_WORK:-/tmp/quorlin-bench}"
    mkdir -p "$work_projects"
    if innosetup="$(work="$work_projects" && source "$root/bench/projects.sh" && innosetup_chm)"; then
        files+=("$innosetup")
    fi
    if [ -x "$hhc" ] && command -v sphinx-build >/dev/null &&
        sphinx="$(work="$work_projects" && source "$root/bench/projects.sh" && sphinx_project)"; then
        echo "compiling the Sphinx project with hhc.exe..." >&2
        cp -r "$(dirname "$sphinx")" "$work/sphinx"
        hhp="$work/sphinx/$(basename "$sphinx")"
        sed -i -E '/^(Full-text search|Full text search)=/Id' "$hhp"
        sed -i -E 's/^\[OPTIONS\]\r?$/[OPTIONS]\nFull-text search=Yes/I' "$hhp"
        (cd "$work/sphinx" && "$hhc" "$(basename "$hhp")" >/dev/null 2>&1) || true
        sphinx_chm="$(find "$work/sphinx" -maxdepth 1 -iname '*.chm' | head -1)"
        [ -n "$sphinx_chm" ] && files+=("$sphinx_chm")
    fi
    if command -v chmcmd >/dev/null; then
        echo "building a large help file from generated pages..." >&2
        python3 - "$work/gen" <<'PY'
import os, sys, random
out = sys.argv[1]
os.makedirs(os.path.join(out, 'pages'), exist_ok=True)
rng = random.Random(7)
words = [''.join(rng.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(rng.randint(2, 9)))
         for _ in range(3000)]
files = []
for i in range(3000):
    name = 'pages/p%04d.htm' % i
    body = '\n'.join('<p>%s</p>' % ' '.join(rng.choice(words) for _ in range(40))
                     for _ in range(30))
    with open(os.path.join(out, name), 'w') as f:
        f.write('<html><head><title>Page %d</title></head><body><h1>Page %d</h1>\n%s\n'
                '<a href="p%04d.htm">next</a></body></html>\n' % (i, i, body, (i + 1) % 3000))
    files.append(name)
with open(os.path.join(out, 'toc.hhc'), 'w') as f:
    f.write('<UL>\n' + ''.join('<LI><OBJECT type="text/sitemap"><param name="Name" value="Page %d">'
            '<param name="Local" value="%s"></OBJECT>\n' % (i, n) for i, n in enumerate(files)) + '</UL>\n')
with open(os.path.join(out, 'big.hhp'), 'w') as f:
    f.write('[OPTIONS]\nCompiled file=big.chm\nContents file=toc.hhc\nDefault topic=pages/p0000.htm\n'
            'Title=Bench\n\n[FILES]\n' + '\n'.join(files) + '\n')
PY
        (cd "$work/gen" && chmcmd big.hhp >/dev/null 2>&1)
        # chmcmd writes the first ITSF GUID twice (libmspack needs the real second one) and
        # names chunk 1 as the first listing chunk (readers then miss the files of chunk 0).
        printf '\x11' | dd of="$work/gen/big.chm" bs=1 seek=40 conv=notrunc status=none
        printf '\x00' | dd of="$work/gen/big.chm" bs=1 seek=$((0x78 + 0x20)) conv=notrunc status=none
        files+=("$work/gen/big.chm")
    fi
    if [ -x "$hhc" ] && [ -f "$work/gen/big.hhp" ]; then
        # The same pages compiled by our hhc.exe: a multi-MB file of our own making.
        mkdir -p "$work/ours"
        cp -r "$work/gen/pages" "$work/gen/toc.hhc" "$work/ours/"
        sed 's/^Compiled file=big.chm/Compiled file=big-hhc.chm/' "$work/gen/big.hhp" >"$work/ours/big.hhp"
        (cd "$work/ours" && "$hhc" big.hhp >/dev/null 2>&1) || true
        [ -f "$work/ours/big-hhc.chm" ] && files+=("$work/ours/big-hhc.chm")
    fi
fi

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

run_tool() {
    case $1 in
        hh) (cd "$work/out" && "$hh" -decompile x "$2" >/dev/null 2>&1) ;;
        extract_chmLib) extract_chmLib "$2" "$work/out/x" >/dev/null 2>&1 ;;
        7z) 7z x -y -o"$work/out/x" "$2" >/dev/null 2>&1 ;;
    esac
}

# time_tool NAME FILE: prints "wall_ms cpu_ms", each the median of RUNS runs. CPU time
# (user + system) is the steadier figure on a machine shared with other work.
time_tool() {
    local name=$1 file=$2 i line
    local TIMEFORMAT='%3R %3U %3S'
    for ((i = 0; i < runs; i++)); do
        rm -rf "$work/out"
        mkdir -p "$work/out"
        line=$({ time run_tool "$name" "$file"; } 2>&1)
        echo "$line"
    done >"$work/times"
    echo "$(awk '{print $1 * 1000}' "$work/times" | median) $(awk '{print ($2 + $3) * 1000}' "$work/times" | median)"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}'; }

printf '%-14s %9s | %8s %8s %8s | %8s %8s %8s | %9s %9s %9s %9s | %s\n' file size_kib \
    hh_ms chmlib_ms 7z_ms hh_cpu chmlib_cpu 7z_cpu hh/chmlib hh/7z cpu/chmlib cpu/7z same_bytes
for file in "${files[@]}"; do
    file="$(cd "$(dirname "$file")" && pwd)/$(basename "$file")"
    read -r w_hh c_hh <<<"$(time_tool hh "$file")"
    read -r w_ex c_ex <<<"$(time_tool extract_chmLib "$file")"
    read -r w_7z c_7z <<<"$(time_tool 7z "$file")"
    rm -rf "$work/a" "$work/b"
    (mkdir -p "$work/a" && cd "$work/a" && "$hh" -decompile x "$file" >/dev/null 2>&1)
    extract_chmLib "$file" "$work/b" >/dev/null 2>&1
    find "$work/b" -maxdepth 1 \( -name '#*' -o -name '$*' \) -exec rm -rf {} +
    # The rebuilt project (and the header its [MAP] includes, and its stop list) is ours alone.
    for f in "$work/a/x"/*.hhp "$work/a/x"/*.h "$work/a/x"/*.stp; do
        [ -e "$f" ] && [ ! -e "$work/b/$(basename "$f")" ] && rm -f "$f"
    done
    same=yes
    diff -r -q "$work/a/x" "$work/b" >/dev/null || same=NO
    printf '%-14s %9d | %8.0f %8.0f %8.0f | %8.0f %8.0f %8.0f | %9s %9s %9s %9s | %s\n' \
        "$(basename "$file")" $(($(stat -c %s "$file") / 1024)) \
        "$w_hh" "$w_ex" "$w_7z" "$c_hh" "$c_ex" "$c_7z" \
        "$(ratio "$w_hh" "$w_ex")" "$(ratio "$w_hh" "$w_7z")" \
        "$(ratio "$c_hh" "$c_ex")" "$(ratio "$c_hh" "$c_7z")" "$same"
done
