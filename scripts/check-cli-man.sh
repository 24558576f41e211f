#!/usr/bin/env bash
# Checks the tool's manual page against its --help: the page rendered by
# `man -l` has a SYNOPSIS, and every option named in --help (an indented
# line starting with '-', up to the gap before its text) heads a tagged
# paragraph at the page's normal indent. Without PAGE the page is made from
# CLI's --help as the install makes it.
# Usage: scripts/check-cli-man.sh CLI [PAGE]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cli=$1
scratch=$(mktemp -d /tmp/ksv27-man-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
page=${2:-$scratch/ksv27-vorn-cli.1}
if [ $# -lt 2 ]; then
  cmake -DKSV_CLI="$cli" -DKSV_VERSION=0 -DKSV_MAN_DIR="$root/docs/man" -DKSV_PAGE="$page" \
    -P "$root/cmake/install/CliManPage.cmake" >/dev/null
fi
MANWIDTH=100 LC_ALL=C.UTF-8 man -l "$page" 2>"$scratch/warnings" | col -bx >"$scratch/text"
if [ -s "$scratch/warnings" ]; then
  cat "$scratch/warnings" >&2
  echo "FAIL man warns about the page" >&2
  exit 1
fi
grep -qx 'SYNOPSIS' "$scratch/text" || { echo "FAIL the page has no SYNOPSIS" >&2; exit 1; }

# The option names of --help, each once.
"$cli" --help | sed -n "s/^  \\(-[^ ].*\\)$/\\1/p" | sed 's/   *.*//' |
  grep -o -- '--\?[A-Za-z0-9][A-Za-z0-9-]*' | sort -u >"$scratch/options"
# The option names heading tagged paragraphs: a tag at the normal indent (7)
# whose text starts on the next line at 14, or a short tag with its text on
# the same line at 14.
awk '
  { line[NR] = $0 }
  END {
    for (i = 1; i <= NR; i++) {
      if (line[i] !~ /^       -/) continue
      if (line[i + 1] ~ /^              [^ ]/ && line[i] !~ /^       [^ ].*  /) tag = substr(line[i], 8)
      else if (substr(line[i], 14, 2) ~ /^ [^ ]$/) tag = substr(line[i], 8, 6)
      else continue
      print tag
    }
  }' "$scratch/text" | grep -o -- '--\?[A-Za-z0-9][A-Za-z0-9-]*' | sort -u >"$scratch/tagged"
missing=$(comm -23 "$scratch/options" "$scratch/tagged")
if [ -n "$missing" ]; then
  echo "FAIL options of --help that head no tagged paragraph of the page:" $missing >&2
  exit 1
fi
echo "the manual page has a SYNOPSIS and all $(wc -l <"$scratch/options") options of --help as tagged paragraphs"
