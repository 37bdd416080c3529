#!/usr/bin/env bash
# Checks that no include runs back up the layers:
#   core/platform  includes only itself and the standard/system headers;
#   core/*         includes core headers only, never Qt or the GUI;
#   converter      is a core-level program;
#   gui/*          may include anything below it.
# Core test code stays Qt-free too. Prints each offending include; exits 1 when there is one.
set -uo pipefail
cd "$(dirname "$0")/.."

bad=0
report() {
    echo "layer check: $1:$2: $3 ($4)"
    bad=1
}

# check FILE: its quoted and Qt includes against the layer the file lives in.
check() {
    local file="$1" layer="$2"
    local n=0 line target
    while IFS= read -r line; do
        n=$((n + 1))
        [[ "$line" =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*([\"\<])([^\">]+) ]] || continue
        target="${BASH_REMATCH[2]}"
        if [ "${BASH_REMATCH[1]}" = "<" ]; then
            if [[ "$target" =~ ^Q[A-Za-z]*(/|$) ]] && [ "$layer" != gui ]; then
                report "$file" "$n" "$target" "Qt in the Qt-free $layer layer"
            fi
            continue
        fi
        case "$layer" in
        platform)
            [[ "$target" == platform/* && -f "src/core/$target" ]] ||
                report "$file" "$n" "$target" "the platform layer includes only itself"
            ;;
        core)
            if [[ "$target" == gui/* || "$target" == ../* ]]; then
                report "$file" "$n" "$target" "core includes a higher layer"
            elif ! [ -f "src/core/$target" ] && ! [ -f "$(dirname "$file")/$target" ] &&
                ! [[ "$file" == tests/* && -f "tests/support/$target" ]]; then
                report "$file" "$n" "$target" "core includes something outside src/core"
            fi
            ;;
        esac
    done <"$file"
}

while IFS= read -r f; do
    case "$f" in
    src/core/platform/*) check "$f" platform ;;
    src/core/* | src/converter/*) check "$f" core ;;
    tests/core/* | tests/support/*) check "$f" core ;;
    esac
done < <(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h'; git ls-files --others --exclude-standard 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h')

if [ $bad = 0 ]; then
    echo "layer check: no include runs back up"
fi
exit $bad
