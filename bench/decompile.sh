#!/usr/bin/env bash
# Decompile speed of hh.exe against extract_chmLib and 7-Zip on the same help files, in one
# run, with the ratios (hh.exe time / peer time; below 1 means hh.exe is faster). Each tool
# runs RUNS times per file into a fresh folder; the median wall time counts. hh.exe's output
# is also compared with extract_chmLib's, byte for byte, less the compiler's internal files.
#
# usage: bench/decompile.sh [-b BUILD_DIR] [-n RUNS] [FILE.chm ...]
# With no files it builds a large help file from generated pages (with chmcmd) and adds the
# repository's fixture.
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
hh="$build/app/hh.exe"
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
    files+=("$root/libs/chm/tests/fixtures/sample.chm")
fi

now() { date +%s%N; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# time_tool NAME FILE: prints the median milliseconds of RUNS runs
time_tool() {
    local name=$1 file=$2 i t0 t1
    for ((i = 0; i < runs; i++)); do
        rm -rf "$work/out"
        mkdir -p "$work/out"
        t0=$(now)
        case $name in
            hh) (cd "$work/out" && "$hh" -decompile x "$file" >/dev/null 2>&1) ;;
            extract_chmLib) extract_chmLib "$file" "$work/out/x" >/dev/null 2>&1 ;;
            7z) 7z x -y -o"$work/out/x" "$file" >/dev/null 2>&1 ;;
        esac
        t1=$(now)
        echo $(((t1 - t0) / 1000))
    done | median
}

printf '%-28s %10s %12s %14s %10s %12s %10s %s\n' file size_kib hh_us extract_chmLib_us 7z_us \
    hh/extract hh/7z same_bytes
for file in "${files[@]}"; do
    file="$(cd "$(dirname "$file")" && pwd)/$(basename "$file")"
    t_hh=$(time_tool hh "$file")
    t_ex=$(time_tool extract_chmLib "$file")
    t_7z=$(time_tool 7z "$file")
    rm -rf "$work/a" "$work/b"
    (mkdir -p "$work/a" && cd "$work/a" && "$hh" -decompile x "$file" >/dev/null 2>&1)
    extract_chmLib "$file" "$work/b" >/dev/null 2>&1
    find "$work/b" -maxdepth 1 \( -name '#*' -o -name '$*' \) -exec rm -rf {} +
    find "$work/a/x" -maxdepth 1 -name '*.hhp' -delete
    same=yes
    diff -r -q "$work/a/x" "$work/b" >/dev/null || same=NO
    printf '%-28s %10d %12d %14d %10d %12.2f %10.2f %s\n' "$(basename "$file")" \
        $(($(stat -c %s "$file") / 1024)) "$t_hh" "$t_ex" "$t_7z" \
        "$(awk -v a="$t_hh" -v b="$t_ex" 'BEGIN {print a / b}')" \
        "$(awk -v a="$t_hh" -v b="$t_7z" 'BEGIN {print a / b}')" "$same"
done
