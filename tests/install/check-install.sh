#!/usr/bin/env bash
# Checks of the installed program, one per CTest test:
#   prefix BUILD VERSION GUI          install into a temporary prefix, run from there
#   man BUILD SOURCES GUI             every command and option of --help in the manual pages
#   completion BUILD SCRIPT           the bash completion offers the program's commands
#   desktop BUILD VALIDATE APPSTREAM  desktop entry, MIME type and metadata as installed
#   package BUILD CPACK LINTIAN VER   the Debian package: contents, lintian without errors
#   manual MANUAL                     every link and image of the HTML manual is there,
#                                     every page is reachable from index.html
set -euo pipefail

fail() { echo "FAIL: $*" >&2; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

install_to() {
    cmake --install "$1" --prefix "$2" > "$scratch/install.log" || {
        cat "$scratch/install.log" >&2
        fail "cmake --install"
    }
}

check_prefix() {
    local build=$1 version=$2 gui=$3 prefix=$scratch/prefix
    install_to "$build" "$prefix"
    local cli=$prefix/bin/tallyhawk-cli
    [ "$("$cli" --version)" = "tallyhawk-cli $version" ] || fail "tallyhawk-cli --version: $("$cli" --version)"
    # The installed program does real work from its new place.
    HOME=$scratch XDG_CONFIG_HOME=$scratch/config XDG_STATE_HOME=$scratch/state \
        "$cli" new "$scratch/pages.wat"
    HOME=$scratch XDG_CONFIG_HOME=$scratch/config XDG_STATE_HOME=$scratch/state \
        "$cli" add "$scratch/pages.wat" http://127.0.0.1:9/ --name Installed > /dev/null
    HOME=$scratch XDG_CONFIG_HOME=$scratch/config XDG_STATE_HOME=$scratch/state \
        "$cli" list "$scratch/pages.wat" | grep -q Installed || fail "the installed tallyhawk-cli lost its page"
    for file in share/man/man1/tallyhawk-cli.1.gz share/bash-completion/completions/tallyhawk-cli \
                share/doc/tallyhawk/copyright lib/systemd/user/tallyhawk-check.timer; do
        [ -s "$prefix/$file" ] || fail "not installed: $file"
    done
    [ "$gui" = ON ] || return 0
    # Without a display the desktop program still answers --version and
    # --help, and finds its manual beside itself.
    local program=$prefix/bin/tallyhawk
    [ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$program" --version)" = "tallyhawk $version" ] ||
        fail "tallyhawk --version: $(env -u DISPLAY -u WAYLAND_DISPLAY "$program" --version 2>&1)"
    env -u DISPLAY -u WAYLAND_DISPLAY "$program" --help | grep -q -- --version || fail "tallyhawk --help"
    [ -s "$prefix/bin/../share/doc/tallyhawk/manual/index.html" ] || fail "the manual is not where the program looks"
    for file in share/applications/example.brindlecote.Tallyhawk.desktop share/mime/packages/tallyhawk.xml \
                share/metainfo/example.brindlecote.Tallyhawk.metainfo.xml share/man/man1/tallyhawk.1.gz \
                share/icons/hicolor/scalable/apps/tallyhawk.svg share/icons/hicolor/48x48/apps/tallyhawk.png \
                share/icons/hicolor/48x48/mimetypes/application-x-tallyhawk-document.png; do
        [ -s "$prefix/$file" ] || fail "not installed: $file"
    done
}

# The words of a manual page's source, without its font changes and with
# its escaped hyphens as hyphens.
man_text() { sed -e 's/\\f[BIRP]//g' -e 's/\\-/-/g' "$1"; }

check_man() {
    local build=$1 sources=$2 gui=$3
    local cli=$build/src/cli/tallyhawk-cli text missing=""
    text=$(man_text "$sources/tallyhawk-cli.1")
    local commands
    commands=$("$cli" --help | awk '/^Commands:/{on=1; next} on && /^  [a-z]/{print $1} on && /^$/{exit}')
    [ -n "$commands" ] || fail "no commands in tallyhawk-cli --help"
    for command in $commands; do
        grep -qE "^\.B[IR]? \"?$command( |\"|$)" "$sources/tallyhawk-cli.1" || missing+=" $command"
        for option in $("$cli" "$command" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
            grep -q -- "$option" <<<"$text" || missing+=" $command:$option"
        done
    done
    for option in $("$cli" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
        grep -q -- "$option" <<<"$text" || missing+=" $option"
    done
    if [ "$gui" = ON ]; then
        text=$(man_text "$sources/tallyhawk.1")
        for option in $(env -u DISPLAY -u WAYLAND_DISPLAY "$build/src/ui/tallyhawk" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
            grep -q -- "$option" <<<"$text" || missing+=" tallyhawk:$option"
        done
    fi
    [ -z "$missing" ] || fail "in --help but not in the manual pages:$missing"
}

check_completion() {
    local build=$1 script=$2
    local cli=$build/src/cli/tallyhawk-cli
    # The completion's own helpers come from bash-completion; these stand in.
    _init_completion() { cur=${COMP_WORDS[COMP_CWORD]}; prev=${COMP_WORDS[COMP_CWORD-1]}; words=("${COMP_WORDS[@]}"); cword=$COMP_CWORD; }
    _filedir() { COMPREPLY=(FILES); }
    complete() { :; }
    # shellcheck source=/dev/null
    source "$script"
    COMP_WORDS=("$cli" "") COMP_CWORD=1
    _tallyhawk_cli "$cli"
    local offered=" ${COMPREPLY[*]} "
    for command in diff check watch; do
        [[ $offered == *" $command "* ]] || fail "command completion lacks $command: $offered"
    done
    COMP_WORDS=("$cli" check --ac) COMP_CWORD=2
    _tallyhawk_cli "$cli"
    [ "${COMPREPLY[*]}" = "--accept" ] || fail "option completion of --ac: ${COMPREPLY[*]}"
    COMP_WORDS=("$cli" set pages.wat 0 --output hi) COMP_CWORD=5
    _tallyhawk_cli "$cli"
    [ "${COMPREPLY[*]}" = "highlighted" ] || fail "--output completion: ${COMPREPLY[*]}"
}

check_desktop() {
    local build=$1 validate=$2 appstream=$3 prefix=$scratch/prefix
    install_to "$build" "$prefix"
    local share=$prefix/share
    "$validate" "$share/applications/example.brindlecote.Tallyhawk.desktop"
    "$appstream" validate --no-net "$share/metainfo/example.brindlecote.Tallyhawk.metainfo.xml"
    # The entry opens the type the MIME file declares, and only what it is given.
    local type
    type=$(grep -o 'type="[^"]*"' "$share/mime/packages/tallyhawk.xml" | head -1 | cut -d'"' -f2)
    grep -q "^MimeType=$type;" "$share/applications/example.brindlecote.Tallyhawk.desktop" ||
        fail "the desktop entry does not open $type"
    grep -q '^Exec=tallyhawk %f$' "$share/applications/example.brindlecote.Tallyhawk.desktop" ||
        fail "the desktop entry must start the program on the file alone (no run)"
    grep -q '<glob pattern="\*.wat"/>' "$share/mime/packages/tallyhawk.xml" || fail "no *.wat glob"
    [ -s "$share/icons/hicolor/48x48/mimetypes/${type//\//-}.png" ] || fail "no document icon for $type"
}

check_package() {
    local build=$1 cpack=$2 lintian=$3 version=$4
    (cd "$build" && "$cpack" -G DEB -B "$scratch/package" > "$scratch/cpack.log") || {
        cat "$scratch/cpack.log" >&2
        fail "cpack"
    }
    local deb=$scratch/package/tallyhawk_${version}_amd64.deb
    [ -s "$deb" ] || fail "no $deb: $(ls "$scratch/package")"
    dpkg-deb -c "$deb" > "$scratch/contents"
    for file in ./usr/bin/tallyhawk ./usr/bin/tallyhawk-cli ./usr/share/applications/example.brindlecote.Tallyhawk.desktop \
                ./usr/share/doc/tallyhawk/manual/index.html ./usr/share/man/man1/tallyhawk-cli.1.gz; do
        grep -q " $file\$" "$scratch/contents" || fail "not in the package: $file"
    done
    dpkg-deb -f "$deb" Depends | grep -q libcurl || fail "the package's dependencies were not worked out"
    "$lintian" --fail-on error "$deb"
}

check_manual() {
    local manual=$1 broken=""
    cd "$manual"
    for page in *.html; do
        for target in $(grep -o -E '(href|src)="[^"#:]+' "$page" | cut -d'"' -f2); do
            [ -e "$target" ] || broken+=" $page->$target"
        done
    done
    [ -z "$broken" ] || fail "broken links in the manual:$broken"
    # Pages reachable from the index through the manual's own links.
    local seen=" index.html " queue=(index.html)
    while [ ${#queue[@]} -gt 0 ]; do
        local page=${queue[0]}
        queue=("${queue[@]:1}")
        for target in $(grep -o -E 'href="[^"#:]+\.html' "$page" | cut -d'"' -f2); do
            [[ $seen == *" $target "* ]] && continue
            seen+="$target "
            queue+=("$target")
        done
    done
    for page in *.html; do
        [[ $seen == *" $page "* ]] || broken+=" $page"
    done
    [ -z "$broken" ] || fail "manual pages no link leads to:$broken"
}

what=$1
shift
case $what in
    prefix) check_prefix "$@" ;;
    man) check_man "$@" ;;
    completion) check_completion "$@" ;;
    desktop) check_desktop "$@" ;;
    package) check_package "$@" ;;
    manual) check_manual "$@" ;;
    *) fail "unknown check $what" ;;
esac
echo "OK: $what"
