#!/usr/bin/env bash
# Fails when the documents have drifted from the tree: a relative link in README.md or docs/
# that leads nowhere (a file, or a heading in it), a scripts/ or deploy/ path they name that
# does not exist, or a switch of the program's usage text that docs/usage.md does not show.
set -euo pipefail
cd "$(dirname "$0")/.."

docs=(README.md docs/*.md)
status=0
fail() {
  echo "$1"
  status=1
}

# A heading's anchor as GitHub makes it: lower case, punctuation dropped, spaces to hyphens.
anchors_of() {
  sed -n 's/^#\{1,6\} \(.*\)$/\1/p' "$1" |
    tr '[:upper:]' '[:lower:]' | sed 's/[^[:alnum:] _-]//g; s/ /-/g'
}

for doc in "${docs[@]}"; do
  dir="$(dirname "$doc")"
  while IFS= read -r target; do
    case "$target" in http://* | https://* | mailto:*) continue ;; esac
    path="${target%%#*}"
    anchor=""
    [ "$path" = "$target" ] || anchor="${target#*#}"
    file="$doc"
    [ -z "$path" ] || file="$dir/$path"
    if [ ! -e "$file" ]; then
      fail "$doc: link to $target: no such file"
    elif [ -n "$anchor" ] && ! anchors_of "$file" | grep -qxF "$anchor"; then
      fail "$doc: link to $target: no such heading in $file"
    fi
  done < <(grep -oE '\]\([^) ]+\)' "$doc" | sed 's/^](//; s/)$//')

  while IFS= read -r path; do
    path="${path%.}"
    [ -e "$path" ] || fail "$doc: names $path, which does not exist"
  done < <(grep -oE '(^|[^[:alnum:]_./-])(scripts|deploy)/[[:alnum:]_./-]*' "$doc" |
    sed -E 's#^[^sd]##' | sort -u)
done

# The switches come from the usage text in the source the program is built from: it is the
# very string that /? shows, but the program shows it only in a message box (and, with /quiet,
# not at all), which only a Windows build under Wine and a window reader could get at.
switches="$(sed -n '/^std::wstring UsageText(/,/^}/p' app/command_line.cpp |
  grep -oE 'L"[^"]*"' | grep -oE '(^|[^[:alnum:]])/[[:alpha:]?]+' | grep -oE '/[[:alpha:]?]+' |
  sort -u)"
[ -n "$switches" ] || fail "app/command_line.cpp: no switches found in UsageText"
while IFS= read -r switch; do
  grep -qF "\`$switch" docs/usage.md || fail "docs/usage.md does not show the switch $switch"
done <<<"$switches"

[ "$status" -eq 0 ] && echo "documents: links, paths and switches (${switches//$'\n'/ }) hold"
exit "$status"
