#!/usr/bin/env bash
# What the full-text search index costs hhc.exe: the same project compiled with and without
# "Full-text search=Yes", in one run; prints median wall and CPU time of each and the share of
# the compile the index takes (the target is at most a quarter).
#
#   bench/search.sh [BUILD_DIR] [PROJECT.hhp ...]
#
# Without projects it measures a folder of generated pages (English words, and Chinese text in
# a second project), plus the Sphinx project bench/compile.sh leaves in its work folder if it is
# there. Needs python3 and GNU time.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
shift || true
hhc="$build/app/hhc.exe"
[[ -x "$hhc" ]] || { echo "no $hhc: build the hhc target first" >&2; exit 1; }
work="${BENCH_WORK:-/tmp/quorlin-bench}"
runs="${BENCH_RUNS:-3}"
mkdir -p "$work"

generated_project() { # name language
    local dir="$work/search-$1"
    if [[ ! -f "$dir/pages.hhp" ]]; then
        rm -rf "$dir"
        mkdir -p "$dir"
        python3 - "$dir" "$2" <<'PY'
import os, random, sys
d, language = sys.argv[1], sys.argv[2]
random.seed(11)
if language == 'zh':
    common = '的一是在不了有和人这中大为上个国我以要他时来用们生到作地于出就分对成会可主发年动同工也能下过子说产种面而方后多定行学法所民得经十三之进着等部度家电力里如水化高自二理起小物现实加量都两体制机当使点从业本去把性好应开它合还因由其些然前外天政四日那社义事平形相全表间样与关各重新线内数正心反你明看原又么利比或但质气第向道命此变条只没结解问意建月公无系军很情者最立代想已通并提直题党程展五果料象员革位入常文总次品式活设及管特件长求老头基资边流路级少图山统接知较将组见计别她手角期根论运农指几九区强放决西被干做必战先回则任取据处队南给色光门即保治北造百规热领七海口东导器压志世金增争济阶油思术极交受联什认六共权收证改清己美再采转更单风切打白教速花带安场身车例真务具万每目至达走积示议声报斗完类八离华名确才科张信马节话米整空元况今集温传土许步群广石记需段研界拉林律叫且究观越织装影算低持音众书布复容儿须际商非验连断深难近矿千周委素技备半办青省列习响约支般史感劳便团往酸历市克何除消构府称太准精值号率族维划选标写存候毛亲快效斯院查江型眼王按格养易置派层片始却专状育厂京识适属圆包火住调满县局照参红细引听该铁价严'
    def sentence():
        return ''.join(random.choice(common) for _ in range(random.randint(8, 30))) + '。'
    head = '<meta http-equiv="Content-Type" content="text/html; charset=utf-8">'
    options = 'Language=0x804 Chinese (PRC)\n'
else:
    words = open('/usr/share/dict/words').read().split() if os.path.exists('/usr/share/dict/words') else \
        [''.join(random.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(random.randint(2, 10))) for _ in range(5000)]
    def sentence():
        return ' '.join(random.choice(words) for _ in range(60))
    head = ''
    options = ''
files = []
for i in range(1500):
    name = f'page{i:04}.htm'
    body = '\n'.join(f'<p class="text">{sentence()}</p>' for _ in range(12))
    open(os.path.join(d, name), 'w', encoding='utf-8').write(
        f'<html><head>{head}<title>Page {i}</title></head><body>{body}</body></html>\n')
    files.append(name)
for search in ('Yes', 'No'):
    open(os.path.join(d, f'pages-{search}.hhp'), 'w', encoding='utf-8').write(
        f'[OPTIONS]\nCompiled file=pages-{search}.chm\nDefault topic=page0000.htm\nTitle=Pages\n'
        f'Display compile progress=No\nFull-text search={search}\n{options}\n[FILES]\n' + '\n'.join(files) + '\n')
os.link(os.path.join(d, 'pages-Yes.hhp'), os.path.join(d, 'pages.hhp'))
PY
    fi
    echo "$dir/pages.hhp"
}

# A copy of a project beside it with full-text search set to the given value.
with_search() { # project.hhp Yes|No
    local project="$1" value="$2"
    local copy="${project%.hhp}-search$value.hhp"
    python3 - "$project" "$copy" "$value" <<'PY'
import re, sys
src, dst, value = sys.argv[1:]
text = open(src, 'rb').read().decode('latin-1')
text = re.sub(r'(?mi)^Full-text search=.*\r?$', '', text)
text = re.sub(r'(?mi)^Compiled file=(.*?)(\.chm)?(\r?)$', lambda m: f'Compiled file={m.group(1)}-{value}.chm{m.group(3)}', text)
text = text.replace('[OPTIONS]', f'[OPTIONS]\nFull-text search={value}', 1)
open(dst, 'wb').write(text.encode('latin-1'))
PY
    echo "$copy"
}

# Median wall and CPU seconds of `runs` compiles: "wall cpu".
measure() { # project.hhp
    local dir name walls=() cpus=()
    dir="$(dirname "$1")"
    name="$(basename "$1")"
    for ((i = 0; i < runs; ++i)); do
        read -r wall user sys < <(cd "$dir" && /usr/bin/time -f "%e %U %S" "$hhc" "$name" 2>&1 >/dev/null | tail -1)
        walls+=("$wall")
        cpus+=("$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')")
    done
    local m=$(((runs + 1) / 2))
    echo "$(printf '%s\n' "${walls[@]}" | sort -n | sed -n "${m}p") $(printf '%s\n' "${cpus[@]}" | sort -n | sed -n "${m}p")"
}

projects=("$@")
if [[ ${#projects[@]} -eq 0 ]]; then
    projects+=("$(generated_project en en)" "$(generated_project zh zh)")
    [[ -f "$work/sphinx-out/CMakeReference.hhp" ]] && projects+=("$work/sphinx-out/CMakeReference.hhp")
fi

printf "%-40s %10s %10s %10s %10s %8s %8s\n" project "wall off" "wall on" "cpu off" "cpu on" "wall %" "cpu %"
for project in "${projects[@]}"; do
    off="$(with_search "$project" No)"
    on="$(with_search "$project" Yes)"
    read -r wall_off cpu_off < <(measure "$off")
    read -r wall_on cpu_on < <(measure "$on")
    # Share of the compile with the index that the index takes.
    awk -v p="$(basename "$(dirname "$project")")/$(basename "$project")" -v wo="$wall_off" \
        -v wn="$wall_on" -v co="$cpu_off" -v cn="$cpu_on" 'BEGIN {
        printf "%-40s %10.2f %10.2f %10.2f %10.2f %7.1f%% %7.1f%%\n", p, wo, wn, co, cn,
            (wn > 0 ? 100 * (wn - wo) / wn : 0), (cn > 0 ? 100 * (cn - co) / cn : 0) }'
done
