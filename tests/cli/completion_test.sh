#!/usr/bin/env bash
# The bash completion of qarvenda-cli, called as bash calls it: words in
# COMP_WORDS ("=" a word of its own), the word being completed last.
#   completion_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source_dir=$1
build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
PATH=$build:$PATH
# The data folder and the home folder are the test's own.
export QARVENDA_HOME=$work/data HOME=$work/home
mkdir "$QARVENDA_HOME" "$HOME"
# shellcheck source=/dev/null
source "$source_dir/resources/bash-completion/qarvenda-cli"
db=$build/kvrn.dat
fail=0
complete -p qarvenda-cli >/dev/null || { echo "FAIL: no completion for qarvenda-cli"; fail=1; }

# expect "WORD|WORD|..." "COMPLETIONS": the words typed, then the completions sorted.
expect() {
  IFS='|' read -ra COMP_WORDS <<<"$1"
  [[ $1 == *'|' ]] && COMP_WORDS+=('')
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _qarvenda_cli
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd' ')
  if [ "$got" != "$2" ]; then
    echo "FAIL: '$1' completes to '$got', not '$2'"
    fail=1
  fi
}

expect 'qarvenda-cli|' 'export find ls post where'
expect 'qarvenda-cli|--db|x.dat|w' 'where'
expect 'qarvenda-cli|export|' 'find ls post where'
expect 'qarvenda-cli|export|--all|--f' '--format'
expect 'qarvenda-cli|find|--e' '--exact'
expect 'qarvenda-cli|where|--e' ''
expect 'qarvenda-cli|export|--a' '--all'
expect 'qarvenda-cli|post|--c' '--count'
expect 'qarvenda-cli|find|--format|' 'csv json jsonl kvrn table tsv'
expect 'qarvenda-cli|find|--format|=|j' 'json jsonl'
expect 'qarvenda-cli|--encoding|' 'gbk utf-8'
expect 'qarvenda-cli|find|--fields|name,i' 'name,initials'
expect 'qarvenda-cli|--sort|area' 'areacode areacode:desc'
expect 'qarvenda-cli|find|--sort|r' 'relevance'
expect "qarvenda-cli|--db|$db|ls|广东省/深" '广东省/深圳市'
expect "qarvenda-cli|--db|=|$db|export|ls|北京" '北京市'
expect "qarvenda-cli|--db|$db|ls|广东省/深圳市|" ''
# A directory's own name, as ls takes it when no other directory has it.
expect "qarvenda-cli|--db|$db|ls|深圳" '深圳市'
expect "qarvenda-cli|--db|$db|ls|/广东省/深" '/广东省/深圳市'
expect "qarvenda-cli|--db|$db|ls|市辖" ''
# The database the program would read: no kvrn.dat here and none in the data
# folder gives the bundled one; the data folder's copy comes before it (one
# that is no database gives nothing, and no message); ~ is the home folder.
expect 'qarvenda-cli|ls|广东省/深' '广东省/深圳市'
echo kvrn >"$QARVENDA_HOME/kvrn.dat"
expect 'qarvenda-cli|ls|深圳' ''
cp "$db" "$QARVENDA_HOME/kvrn.dat"
expect 'qarvenda-cli|export|ls|深圳' '深圳市'
cp "$db" "$HOME/my.dat"
expect 'qarvenda-cli|--db|=|~/my.dat|ls|深圳' '深圳市'
expect "qarvenda-cli|--db|'$HOME/my.dat'|ls|深圳" '深圳市'
echo kvrn >kvrn.dat
expect 'qarvenda-cli|ls|广' ''

[ $fail -eq 0 ] && echo "completion passes"
exit $fail
