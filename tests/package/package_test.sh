#!/usr/bin/env bash
# Makes the Debian package from a build tree and checks it as Debian and a user would:
# lintian, the desktop entry and AppStream validators, every man page, then the unpacked
# lexivane-mkdb and lexivane-words on small lists, and that no file names the folders it was
# built in; with "again", builds the same sources again in another folder and checks that the
# second package is the same byte for byte. As root, with no lexivane package installed, it
# also installs and purges the package and looks for anything left behind.
#   package_test.sh BUILD_DIR CPACK VERSION [again]
set -uo pipefail

build=$(cd "$1" && pwd) || exit 2
cpack=$2
version=$3
again_too=${4:-}
export LC_ALL=C.UTF-8 MANWIDTH=80

tmp=$(mktemp -d "${TMPDIR:-/tmp}/lexivane-package.XXXXXX") || exit 2
installed=0
cleanup() {
    local rc=$?
    trap - EXIT INT TERM HUP
    if [ "$installed" -eq 1 ]; then
        dpkg --purge lexivane >>"$tmp/dpkg.log" 2>&1 || echo "FAIL: could not purge lexivane" >&2
    fi
    rm -rf "$tmp"
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

failures=0
log() { echo "[package] $*"; }
fail() { # a failed check; the others still run
    echo "[package] FAIL: $*" >&2
    failures=$((failures + 1))
}
fatal() {
    echo "[package] FAIL: $*" >&2
    exit 1
}

# ---- the package -------------------------------------------------------------------------
log "cpack -G DEB"
"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/out" >"$tmp/cpack.log" 2>&1 ||
    { tail -n 30 "$tmp/cpack.log" >&2; fatal "cpack failed"; }
debs=("$tmp"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fatal "expected one .deb, got: ${debs[*]}"
deb=${debs[0]}
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "lexivane_${version}_$arch.deb" ] || fail "package file named $(basename "$deb")"

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = lexivane ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), not $version"
depends=$(field Depends)
for dep in fonts-liberation libc6 libqt6widgets6 libseccomp2; do
    grep -Eq "(^|, )$dep( |,|$)" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
# The reader helper reads Access files with the project's own reader: libmdb is for tests.
grep -Eq "(^|, )libmdb" <<<"$depends" && fail "Depends names libmdb: $depends"
grep -Eq "(^|, )qt6-wayland( |,|$)" <<<"$(field Recommends) $depends" ||
    fail "neither Depends nor Recommends names qt6-wayland"

log "lintian"
lintian --fail-on error,warning --tag-display-limit 0 "$deb" >"$tmp/lintian.log" 2>&1
lintian_rc=$?
if [ "$lintian_rc" -ne 0 ] || grep -Eq '^[EW]: ' "$tmp/lintian.log"; then
    cat "$tmp/lintian.log" >&2
    fail "lintian reports errors or warnings (exit $lintian_rc)"
fi

root=$tmp/root
dpkg-deb -x "$deb" "$root" || fatal "dpkg-deb -x failed"
dpkg-deb -c "$deb" >"$tmp/contents" || fatal "dpkg-deb -c failed"

# ---- desktop entry, AppStream, man pages, versions ---------------------------------------
id=example.tallowick.Lexivane
desktop-file-validate "$root/usr/share/applications/$id.desktop" >"$tmp/desktop.log" 2>&1 ||
    { cat "$tmp/desktop.log" >&2; fail "desktop-file-validate"; }
metainfo=$root/usr/share/metainfo/$id.metainfo.xml
appstreamcli validate --no-net "$metainfo" >"$tmp/appstream.log" 2>&1 ||
    { cat "$tmp/appstream.log" >&2; fail "appstreamcli validate --no-net"; }
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
for cmd in "$root"/usr/bin/*; do
    grep -qx "    <binary>$(basename "$cmd")</binary>" "$metainfo" ||
        fail "the metainfo does not provide $(basename "$cmd")"
done

for cmd in "$root"/usr/bin/*; do
    name=$(basename "$cmd")
    page=$root/usr/share/man/man1/$name.1.gz
    if [ ! -f "$page" ]; then
        fail "$name has no man page"
        continue
    fi
    man --warnings -l "$page" >"$tmp/man.out" 2>"$tmp/man.err" || fail "man -l $name.1.gz failed"
    [ -s "$tmp/man.err" ] && { cat "$tmp/man.err" >&2; fail "man --warnings on $name.1.gz"; }
    grep -q "^NAME" "$tmp/man.out" || fail "$name.1.gz renders no NAME section"
    # A link to the program folder, so the program and the command are one file.
    [ "$(readlink "$cmd")" = "../lib/lexivane/$name" ] || fail "/usr/bin/$name is not a link into /usr/lib/lexivane"
    [ -x "$cmd" ] || fail "/usr/bin/$name does not resolve to an executable"
done
[ -e "$root/usr/bin/lexivane-mkdb" ] && [ -e "$root/usr/bin/lexivane-words" ] ||
    fail "lexivane-mkdb and lexivane-words are not both in /usr/bin"
for f in lexivane lexivane-words dbWords.mdb HAND-M.CUR; do
    [ -f "$root/usr/lib/lexivane/$f" ] || fail "/usr/lib/lexivane/$f missing"
done

changelog_version=$(zcat "$root/usr/share/doc/lexivane/changelog.gz" | sed -n '1s/^lexivane (\([^)]*\)).*/\1/p')
[ "$changelog_version" = "$version" ] || fail "the changelog's newest entry is '$changelog_version', not $version"
grep -q '^Files: ' "$root/usr/share/doc/lexivane/copyright" || fail "copyright is not in DEP-5 form"

# ---- the unpacked commands ---------------------------------------------------------------
mkdb=$root/usr/bin/lexivane-mkdb
words=$root/usr/bin/lexivane-words
for cmd in "$mkdb" "$words"; do
    name=$(basename "$cmd")
    [ "$("$cmd" --version | head -n1)" = "$name $version" ] || fail "$name --version: $("$cmd" --version)"
    out=$("$cmd" --help) && grep -q "^usage: $name" <<<"$out" || fail "$name --help"
    "$cmd" >/dev/null 2>"$tmp/err"
    rc=$?
    [ "$rc" -eq 2 ] && grep -q "^$name: " "$tmp/err" || fail "$name without arguments: exit $rc, $(head -n1 "$tmp/err")"
    "$cmd" --no-such-option a b >/dev/null 2>&1
    rc=$?
    [ "$rc" -eq 2 ] || fail "$name with an unknown option: exit $rc"
done

# Round trip: one-byte and two-byte text, a word of the greatest length, a leading BOM and
# CR LF (neither is part of a word).
mkdir -p "$tmp/work" && cd "$tmp/work" || fatal "no work folder"
long=$(printf 'x%.0s' $(seq 255))
printf '%s\n' apple Zebra "o'clock" émigré straße жук ω "$long" mp3 >expected.txt
{ printf '\xEF\xBB\xBF'; sed 's/$/\r/' expected.txt; } >list.txt
"$mkdb" list.txt out.mdb 2>err || fail "lexivane-mkdb on a good list: $(cat err)"
"$words" out.mdb >got.txt 2>err || fail "lexivane-words on its database: $(cat err)"
cmp -s expected.txt got.txt || { diff expected.txt got.txt | head -n 10 >&2; fail "round trip differs"; }
"$mkdb" - stdin.mdb <expected.txt 2>err || fail "lexivane-mkdb from standard input: $(cat err)"
"$words" stdin.mdb | cmp -s expected.txt - || fail "round trip from standard input differs"

# refused LINE REASON LIST: exit 1, one line naming the file, the line and the reason, and
# neither the database nor a temporary file left.
refused() {
    local line=$1 reason=$2 list=$3 rc
    rm -f refused.mdb .refused.mdb.*
    "$mkdb" "$list" refused.mdb >out 2>err
    rc=$?
    [ "$rc" -eq 1 ] || fail "$list: exit $rc, not 1"
    [ "$(wc -l <err)" -eq 1 ] && grep -q "^lexivane-mkdb: $list:$line: .*$reason" err ||
        fail "$list: message '$(cat err)' lacks the file, line $line or '$reason'"
    [ ! -s out ] || fail "$list: output on stdout"
    [ -z "$(ls -A . | grep -F refused.mdb)" ] || fail "$list: left $(ls -A . | grep -F refused.mdb)"
}
printf 'one\ntwo\n%s\nfour\n' "${long}y" >too-long.txt
refused 3 "256 characters" too-long.txt
printf 'one\ntwo\nthr\xE9e\n' >latin1.txt
refused 3 "invalid UTF-8" latin1.txt
printf 'one\n\xC0\xAF\n' >overlong-form.txt
refused 2 "invalid UTF-8" overlong-form.txt

echo "not a database" >notes.txt
"$words" notes.txt >out 2>err
rc=$?
[ "$rc" -eq 1 ] && [ ! -s out ] && grep -q "^lexivane-words: notes.txt: not an Access database" err ||
    fail "lexivane-words on a text file: exit $rc, '$(cat err)'"
"$words" missing.mdb >/dev/null 2>err
rc=$?
[ "$rc" -eq 1 ] && grep -q "^lexivane-words: missing.mdb: " err || fail "lexivane-words on a missing file: exit $rc"
cd "$tmp" || fatal "cd $tmp"

# ---- no folder of this machine in the package -----------------------------------------
# Every compile maps the source and build folders out (-ffile-prefix-map): nothing shipped
# may name either.
src_dir=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt")
for dir in "$src_dir" "$build"; do
    leaks=$(grep -rlaF -- "$dir" "$root" | sed "s|^$root||")
    [ -z "$leaks" ] || fail "these files name $dir: $leaks"
done

# ---- built again elsewhere, the same package ------------------------------------------
# The sources as they are (uncommitted changes too) in a folder of their own, configured like
# this build and built at another time: the .deb must not change. The sources and the build
# folder keep their places relative to each other (moc's includes spell that path out); the
# folder is the same on every run, so that ccache serves the next one.
reproduce() {
    local src again epoch common setting settings=()
    src=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt")
    epoch=$(sed -n 's/^set(CPACK_LEXIVANE_SOURCE_DATE_EPOCH "\([0-9]*\)")$/\1/p' "$build/CPackConfig.cmake")
    if [ -z "$epoch" ] || ! git -C "$src" rev-parse --git-dir >/dev/null 2>&1; then
        log "no git history to date the build: not built again"
        return
    fi
    common=$src
    while [ "$common" != / ] && [[ "$build/" != "$common/"* ]]; do common=$(dirname "$common"); done
    again=$build/package-again
    local again_src=$again/$(realpath -m --relative-to="$common" "$src")
    local again_build=$again/$(realpath -m --relative-to="$common" "$build")
    rm -rf "$again" && mkdir -p "$again_src" || fatal "cannot make $again"
    git -C "$src" ls-files -z --cached --others --exclude-standard |
        (cd "$src" && tar --null --ignore-failed-read -T - -cf - 2>/dev/null) |
        tar -xf - -C "$again_src" || fatal "cannot copy the sources to $again_src"
    while IFS= read -r setting; do settings+=("-D$setting"); done < <(grep -E \
        '^(CMAKE_BUILD_TYPE|CMAKE_(C|CXX)_COMPILER(_LAUNCHER)?|CMAKE_(C|CXX)_FLAGS(_[A-Z]+)?|CMAKE_(EXE|SHARED)_LINKER_FLAGS(_[A-Z]+)?|LEXIVANE_(SUPPORT_EMAIL|HOME_PAGE|CONTACT_FORM|WORDLIST|WORDLIST_COPYRIGHT|SCREENSHOT_URL)):[A-Z]+=' \
        "$build/CMakeCache.txt")
    log "built again in $again"
    sleep 1 # another second, so that a time stamp shows
    SOURCE_DATE_EPOCH=$epoch cmake -S "$again_src" -B "$again_build" \
        -G "$(sed -n 's/^CMAKE_GENERATOR:INTERNAL=//p' "$build/CMakeCache.txt")" \
        -DBUILD_TESTING=OFF "${settings[@]}" >"$tmp/again.log" 2>&1 &&
        cmake --build "$again_build" >>"$tmp/again.log" 2>&1 &&
        "$cpack" --config "$again_build/CPackConfig.cmake" -G DEB -B "$again/out" >>"$tmp/again.log" 2>&1 ||
        { tail -n 30 "$tmp/again.log" >&2; fail "the second build failed"; return; }
    local second=("$again"/out/*.deb)
    log "sha256: this build $(sha256sum <"$deb" | cut -c1-64), built again $(sha256sum <"${second[0]}" | cut -c1-64)"
    cmp -s "$deb" "${second[0]}" && return
    fail "two builds of the same sources give different packages"
    if command -v diffoscope >/dev/null; then
        diffoscope --text - "$deb" "${second[0]}" | head -n 80 >&2
        return
    fi
    dpkg-deb -x "${second[0]}" "$tmp/root2" && dpkg-deb -c "${second[0]}" >"$tmp/contents2"
    diff "$tmp/contents" "$tmp/contents2" | head -n 20 >&2
    diff -r "$root" "$tmp/root2" | head -n 20 >&2
    dpkg-deb -e "$deb" "$tmp/control1" && dpkg-deb -e "${second[0]}" "$tmp/control2" &&
        diff -r "$tmp/control1" "$tmp/control2" | head -n 20 >&2
}
[ "$again_too" = again ] && reproduce

# ---- a real install and purge ------------------------------------------------------------
real_install() {
    if [ "$(id -u)" -ne 0 ]; then
        log "not root: no real install"
        return
    fi
    # Other build trees on this machine run this test too: one install at a time.
    exec 9>/tmp/lexivane-package-install.lock
    if ! flock -w 120 9; then
        log "another package test kept its install going: no real install"
        return
    fi
    if dpkg-query -W -f='${Status}' lexivane 2>/dev/null | grep -qv 'not-installed'; then
        log "a lexivane package is already on this machine: no real install"
        return
    fi
    # Another developer's apt-get may hold the lock for a while; give up after a minute.
    local tries=0
    until dpkg -i "$deb" >"$tmp/dpkg.log" 2>&1; do
        if grep -q 'lock' "$tmp/dpkg.log" && [ "$tries" -lt 60 ]; then
            tries=$((tries + 1))
            sleep 1
            continue
        fi
        installed=1 # whatever half of it is there goes
        cat "$tmp/dpkg.log" >&2
        fail "dpkg -i failed"
        return
    done
    installed=1
    log "installed with dpkg -i"
    /usr/bin/lexivane-mkdb "$tmp/work/expected.txt" "$tmp/installed.mdb" &&
        /usr/bin/lexivane-words "$tmp/installed.mdb" | cmp -s "$tmp/work/expected.txt" - ||
        fail "the installed commands do not round-trip the list"

    dpkg --purge lexivane >>"$tmp/dpkg.log" 2>&1 || { cat "$tmp/dpkg.log" >&2; fail "dpkg --purge failed"; return; }
    installed=0
    log "purged"
    dpkg-query -W -f='${Status}' lexivane 2>/dev/null | grep -qv 'not-installed' &&
        fail "dpkg still knows lexivane after the purge"
    local path left=""
    # Every file and link of the package, and the folders only it has.
    while read -r path; do
        [ -e "$path" ] || [ -L "$path" ] && left+=" $path"
    done < <(awk '$1 !~ /^d/ { print substr($6, 2) }' "$tmp/contents")
    for path in /usr/lib/lexivane /usr/share/doc/lexivane /var/lib/dpkg/info/lexivane.* \
        /var/lib/dpkg/info/lexivane:*; do
        [ -e "$path" ] && left+=" $path"
    done
    [ -z "$left" ] || fail "left behind after purge:$left"
}
real_install

if [ "$failures" -ne 0 ]; then
    echo "[package] $failures check(s) failed" >&2
    exit 1
fi
log "passed"
