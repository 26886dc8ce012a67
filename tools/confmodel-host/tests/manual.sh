#!/bin/sh
# The manual page and the bash completion say what --help says: every
# command, action and option of the help is in the rendered page and is
# completed, and the exit statuses are in the page.
# usage: manual.sh MANUAL_PAGE COMPLETION -- HOST...
set -u
page=$(realpath "$1") completion=$(realpath "$2")
shift 3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "$*"; exit 1; }

MANWIDTH=200 man -l "$page" > "$work/page" 2> "$work/man.err" || fail "man -l: $(cat "$work/man.err")"
[ ! -s "$work/man.err" ] || fail "man -l warns: $(cat "$work/man.err")"
"$@" --help > "$work/help" || fail "--help failed"
# The help's option and command words: "--wait", "show", ...
sed -n '/^Options:/,/^$/p; /^Commands:/,/^$/p' "$work/help" | awk '/^  [a-z-]/ { print $1 }' |
    sed 's/^-h,//' > "$work/words"
[ "$(wc -l < "$work/words")" -ge 12 ] || fail "the help lists too few words: $(cat "$work/words")"
for command in $(sed -n '/^Commands:/,/^$/p' "$work/help" | awk '/^  [a-z]/ { print $1 }'); do
    "$@" "$command" --help | sed -n '/^Options:/,/^$/p; /^Actions:/,/^$/p' |
        awk '/^  [a-z-]/ { print $1 }' | sed 's/^-h,//' | sed "s|^|$command |" >> "$work/words"
done
while read -r first second; do
    word=${second:-$first}
    grep -q -- "$word" "$work/page" || fail "the manual page lacks $first $second"
done < "$work/words"
for section in SYNOPSIS DESCRIPTION OPTIONS COMMANDS "EXIT STATUS" "SEE ALSO"; do
    grep -q "^$section" "$work/page" || fail "the manual page has no $section"
done
for status in 0 1 2 3 4; do
    grep -q "^       $status " "$work/page" || grep -qx "       $status" "$work/page" ||
        fail "the manual page lacks exit status $status"
done

# What bash offers for the words typed so far (the last one being completed).
complete_words() {
    bash -c '. "$0"; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _confmodel_host; echo "${COMPREPLY[*]}"' \
        "$completion" confmodel-host "$@"
}
cd "$work" || exit 2
while read -r first second; do
    if [ -z "$second" ]; then offered=$(complete_words "$first")
    else offered=$(complete_words "$first" x "$second"); fi
    case " $offered " in *" ${second:-$first} "*) ;; *) fail "no completion of ${second:-$first}: $offered" ;; esac
done < words
[ "$(complete_words apply --host "")" = "simple faithful" ] || fail "--host: $(complete_words apply --host "")"
[ -z "$(complete_words --wait "")" ] || fail "--wait offers $(complete_words --wait "")"
: > source.jsonl
[ "$(complete_words show sou)" = "source.jsonl" ] || fail "files: $(complete_words show sou)"
echo "the manual page and the completion cover $(wc -l < words) words of the help"
