#!/bin/bash
# install_test.sh layout|package BUILD_DIR APP_DIR
#
# layout:  installs the build into a temporary root and checks the program folder, the
#          launcher, the desktop entries and icons, and runs the installed hhc.exe (and
#          hh.exe -decompile) on a small project.
# package: builds the Debian package with cpack and checks its fields, dependencies and
#          file list.
# Exit 0: passed; 1: failed; 77: skipped (what the test needs is not part of this build).
set -u

mode=$1
build=$2
app=$3
cmake=${CMAKE_COMMAND:-cmake}
cpack=${CPACK_COMMAND:-cpack}

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
skip() {
    echo "SKIPPED: $*"
    exit 77
}

work=$(mktemp -d "${TMPDIR:-/tmp}/quorlin-install.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The files the build put into its program folder: every one of them must be installed.
app_files=()
for f in "$app"/*; do
    [ -f "$f" ] && app_files+=("$(basename "$f")")
done

# Width and height of a PNG, from its IHDR chunk.
png_size() {
    local bytes
    bytes=$(od -An -tu1 -j16 -N8 "$1" | tr -s ' \n' ' ')
    set -- $bytes
    echo "$(($1 * 16777216 + $2 * 65536 + $3 * 256 + $4))x$(($5 * 16777216 + $6 * 65536 + $7 * 256 + $8))"
}

desktop_value() { # FILE KEY
    sed -n "s/^$2=//p" "$1" | head -n 1
}

check_layout() {
    local root="$work/root"
    local prefix="$root/usr"
    "$cmake" --install "$build" --prefix "$prefix" > "$work/install.log" 2>&1 ||
        { cat "$work/install.log"; fail "cmake --install failed"; return; }
    [ -e "$prefix/bin/chmquorlin" ] || skip "this build has no install rules"
    local folder="$prefix/lib/chmquorlin"

    # The program folder: all of build/app, the data files byte for byte.
    for f in "${app_files[@]}"; do
        if [ ! -f "$folder/$f" ]; then
            fail "$f of the program folder is not installed"
        elif [ ! -x "$app/$f" ] && ! cmp -s "$app/$f" "$folder/$f"; then
            fail "installed $f differs from the build's"
        fi
    done
    for f in chm_dll0.dll chm_dll1.dll; do
        [ -f "$folder/$f" ] || fail "template $f is not installed"
    done
    for f in chmquorlin hhc.exe hh.exe; do
        [ ! -e "$folder/$f" ] || [ -x "$folder/$f" ] || fail "$f is installed without execute permission"
    done

    # The launcher runs the program of its own installation, also through a symbolic link
    # and from another current folder. A stand-in program reports how it was started.
    local launcher="$prefix/bin/chmquorlin"
    [ -x "$launcher" ] || fail "launcher is not executable"
    printf '#!/bin/sh\necho "started:$0:$#:$1"\n' > "$folder/chmquorlin"
    chmod +x "$folder/chmquorlin"
    local expect="started:$(dirname "$(readlink -f "$launcher")")/../lib/chmquorlin/chmquorlin:1:a b"
    local got
    got=$(cd / && "$launcher" "a b")
    [ "$got" = "$expect" ] || fail "launcher started '$got', expected '$expect'"
    mkdir -p "$work/elsewhere"
    ln -s "$launcher" "$work/elsewhere/chmquorlin"
    got=$(cd "$work" && elsewhere/chmquorlin "a b")
    [ "$got" = "$expect" ] || fail "launcher through a link started '$got', expected '$expect'"

    # Desktop entries: the program claims no file type; the viewer opens .chm files.
    local main="$prefix/share/applications/chmquorlin.desktop"
    local viewer="$prefix/share/applications/chmquorlin-viewer.desktop"
    for entry in "$main" "$viewer"; do
        if [ ! -f "$entry" ]; then
            fail "$(basename "$entry") is not installed"
            continue
        fi
        grep -q '^Name\[zh_CN\]=' "$entry" || fail "$(basename "$entry") has no Chinese name"
        grep -q '^Name=' "$entry" || fail "$(basename "$entry") has no name"
        local exec program
        exec=$(desktop_value "$entry" Exec)
        program=$(echo "$exec" | sed 's/^"\([^"]*\)".*/\1/')
        [ -x "$program" ] || fail "$(basename "$entry") runs '$program', which is not installed"
        [ "$(desktop_value "$entry" Icon)" = chmquorlin ] || fail "$(basename "$entry") has the wrong icon"
        if command -v desktop-file-validate > /dev/null; then
            desktop-file-validate "$entry" || fail "desktop-file-validate refused $(basename "$entry")"
        fi
    done
    if [ -f "$main" ]; then
        ! grep -q '^MimeType=' "$main" || fail "the program's entry claims file types"
        ! grep -q '%[fFuU]' "$main" || fail "the program's entry passes files to a program without arguments"
    fi
    if [ -f "$viewer" ]; then
        [ "$(desktop_value "$viewer" Exec)" = "\"$folder/hh.exe\" %f" ] ||
            fail "viewer entry runs '$(desktop_value "$viewer" Exec)'"
        desktop_value "$viewer" MimeType | grep -q 'application/vnd.ms-htmlhelp;' ||
            fail "viewer entry does not open .chm files"
    fi

    # Icons: the sizes the folder names promise.
    for size in 48 128; do
        local icon="$prefix/share/icons/hicolor/${size}x${size}/apps/chmquorlin.png"
        if [ ! -f "$icon" ]; then
            fail "icon ${size}x${size} is not installed"
        elif [ "$(png_size "$icon")" != "${size}x${size}" ]; then
            fail "icon ${size}x${size} is $(png_size "$icon")"
        fi
    done
    grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/chmquorlin.svg" 2> /dev/null ||
        fail "scalable icon is missing"

    # The installed help file is a real CHM with its pages, contents, index and picture.
    if [ -f "$folder/help.chm" ] && command -v extract_chmLib > /dev/null; then
        extract_chmLib "$folder/help.chm" "$work/help" > /dev/null 2>&1 ||
            fail "extract_chmLib cannot read the installed help.chm"
        for f in index.htm help.hhc help.hhk images/main.png '#SYSTEM'; do
            [ -s "$work/help/$f" ] || fail "help.chm holds no $f"
        done
    fi

    check_installed_compiler "$folder"
}

# The installed compiler on a small project with a Chinese title, a picture, contents and
# index; the pages must come back byte for byte through an independent reader and through
# the installed decompiler.
check_installed_compiler() {
    local folder=$1
    if [ ! -x "$folder/hhc.exe" ]; then
        echo "NOTE: hhc.exe is not part of this build; the compiler run is left out"
        return
    fi
    local project="$work/project dir"
    mkdir -p "$project/pics"
    printf '<html><head><meta http-equiv="Content-Type" content="text/html; charset=utf-8"><title>首页</title></head>\n<body><p>你好</p><img src="pics/dot.png"><a href="second.htm">下一页</a></body></html>\n' > "$project/index.htm"
    printf '<html><head><title>Second</title></head><body>two</body></html>\n' > "$project/second.htm"
    cp "$prefix_icon" "$project/pics/dot.png"
    printf '[OPTIONS]\r\nCompiled file=small.chm\r\nContents file=small.hhc\r\nIndex file=small.hhk\r\nDefault topic=index.htm\r\nLanguage=0x804 Chinese (PRC)\r\nTitle=小帮助\r\n\r\n[FILES]\r\nindex.htm\r\nsecond.htm\r\n' > "$project/small.hhp"
    printf '<HTML><BODY><UL>\n<LI> <OBJECT type="text/sitemap"><param name="Name" value="首页"><param name="Local" value="index.htm"></OBJECT>\n<LI> <OBJECT type="text/sitemap"><param name="Name" value="Second"><param name="Local" value="second.htm"></OBJECT>\n</UL></BODY></HTML>\n' > "$project/small.hhc"
    printf '<HTML><BODY><UL>\n<LI> <OBJECT type="text/sitemap"><param name="Name" value="问候"><param name="Local" value="index.htm"></OBJECT>\n</UL></BODY></HTML>\n' > "$project/small.hhk"

    (cd "$project" && "$folder/hhc.exe" small.hhp) > "$work/hhc.log" 2>&1 ||
        { cat "$work/hhc.log"; fail "installed hhc.exe failed on a small project"; return; }
    local chm="$project/small.chm"
    [ "$(head -c 4 "$chm" 2> /dev/null)" = ITSF ] || { fail "hhc.exe wrote no CHM file"; return; }

    if command -v extract_chmLib > /dev/null; then
        extract_chmLib "$chm" "$work/small-chmlib" > /dev/null 2>&1 || fail "extract_chmLib cannot read the CHM"
        for f in index.htm second.htm pics/dot.png; do
            cmp -s "$project/$f" "$work/small-chmlib/$f" || fail "$f read back by extract_chmLib differs"
        done
    fi
    if [ -x "$folder/hh.exe" ]; then
        (cd "$work" && "$folder/hh.exe" -decompile out "$chm") > "$work/hh.log" 2>&1 ||
            { cat "$work/hh.log"; fail "installed hh.exe -decompile failed"; }
        for f in index.htm second.htm pics/dot.png; do
            cmp -s "$project/$f" "$work/out/$f" || fail "$f decompiled by hh.exe differs"
        done
    fi
}

check_package() {
    command -v dpkg-deb > /dev/null || skip "dpkg-deb is not installed"
    command -v dpkg-shlibdeps > /dev/null || skip "dpkg-shlibdeps (dpkg-dev) is not installed"
    [ -f "$build/CPackConfig.cmake" ] || skip "this build has no package rules"
    "$cpack" --config "$build/CPackConfig.cmake" -B "$work/pkg" > "$work/cpack.log" 2>&1 ||
        { cat "$work/cpack.log"; fail "cpack failed"; return; }
    local deb
    deb=$(ls "$work/pkg"/chmquorlin_*.deb 2> /dev/null | head -n 1)
    [ -n "$deb" ] || { cat "$work/cpack.log"; fail "cpack made no chmquorlin package"; return; }

    [ "$(dpkg-deb -f "$deb" Package)" = chmquorlin ] || fail "package name"
    [ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "package has no maintainer"
    [ -n "$(dpkg-deb -f "$deb" Section)" ] || fail "package has no section"
    [ -n "$(dpkg-deb -f "$deb" Description)" ] || fail "package has no description"
    local depends
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    echo "$depends" | grep -q 'libc6' || fail "package does not depend on libc6"
    echo "$depends" | grep -q 'libstdc++6' || fail "package does not depend on libstdc++6"
    local contents
    contents=$(dpkg-deb -c "$deb" | awk '{ print $NF }')
    has() { echo "$contents" | grep -qxF "$1"; }
    # Each program's own libraries, as dpkg-shlibdeps found them.
    if has ./usr/lib/chmquorlin/chmquorlin || has ./usr/lib/chmquorlin/libhh_viewer.so; then
        echo "$depends" | grep -q 'libqt6widgets6' || fail "package does not depend on Qt Widgets"
    fi
    if has ./usr/lib/chmquorlin/libhh_engine.so; then
        for dep in libqt6webenginewidgets6 libqt6webenginecore6-bin qt6-translations-l10n; do
            echo "$depends" | grep -q "$dep" || fail "package does not depend on $dep"
        done
    fi
    if has ./usr/lib/chmquorlin/hh.exe || has ./usr/lib/chmquorlin/libhh_viewer.so; then
        echo "$depends" | grep -q 'libmspack0' || fail "package does not depend on libmspack0"
    fi

    for f in "${app_files[@]}"; do
        has "./usr/lib/chmquorlin/$f" || fail "package lacks usr/lib/chmquorlin/$f"
    done
    for f in ./usr/bin/chmquorlin ./usr/share/applications/chmquorlin.desktop \
        ./usr/share/applications/chmquorlin-viewer.desktop \
        ./usr/share/icons/hicolor/48x48/apps/chmquorlin.png \
        ./usr/share/icons/hicolor/scalable/apps/chmquorlin.svg; do
        has "$f" || fail "package lacks $f"
    done
    # Nothing of the build machine may leak into the package.
    echo "$contents" | grep -v '^\./usr/' && fail "package holds files outside /usr"

    # The entries inside the package name the programs where the package puts them.
    dpkg-deb -x "$deb" "$work/unpacked"
    grep -qx 'Exec="/usr/lib/chmquorlin/hh.exe" %f' \
        "$work/unpacked/usr/share/applications/chmquorlin-viewer.desktop" ||
        fail "packaged viewer entry does not run /usr/lib/chmquorlin/hh.exe"
    grep -qx 'Exec="/usr/bin/chmquorlin"' "$work/unpacked/usr/share/applications/chmquorlin.desktop" ||
        fail "packaged program entry does not run /usr/bin/chmquorlin"
    if [ -x "$work/unpacked/usr/lib/chmquorlin/hhc.exe" ]; then
        "$work/unpacked/usr/lib/chmquorlin/hhc.exe" > /dev/null 2>&1
        [ $? -eq 2 ] || fail "packaged hhc.exe does not run"
    fi
}

case "$mode" in
layout)
    prefix_icon="$(dirname "$0")/../../packaging/linux/chmquorlin-48.png"
    check_layout
    ;;
package) check_package ;;
*)
    echo "usage: install_test.sh layout|package BUILD_DIR APP_DIR"
    exit 2
    ;;
esac

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
