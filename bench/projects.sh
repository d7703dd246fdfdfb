# Shared by the scripts in this folder: the benchmark projects, made on first use in $work.
#   sphinx_project      a Sphinx htmlhelp project of CMake's reference pages (the largest)
#   generated_project   1500 generated pages and 100 incompressible images
#   innosetup_chm       ISetup.chm, written by Microsoft's compiler, from the npm package
#                       "innosetup" (fetched with npm pack; never kept in the repository)
# Each prints the path it made, or fails with a message.

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

innosetup_chm() {
    local dir="$work/innosetup" chm
    if [[ ! -f "$dir/ISetup.chm" ]]; then
        command -v npm >/dev/null || { echo "npm is not installed: no ISetup.chm" >&2; return 1; }
        rm -rf "$dir"
        mkdir -p "$dir"
        (cd "$dir" && npm pack --silent innosetup >/dev/null 2>&1 && tar xzf innosetup-*.tgz) ||
            { echo "npm pack innosetup failed" >&2; return 1; }
        chm="$(find "$dir/package" -name ISetup.chm | head -1)"
        [[ -n "$chm" ]] || { echo "the innosetup package holds no ISetup.chm" >&2; return 1; }
        cp "$chm" "$dir/ISetup.chm"
        rm -rf "$dir/package" "$dir"/innosetup-*.tgz
    fi
    echo "$dir/ISetup.chm"
}
