#!/usr/bin/env bash
# Writes varnel-vst's man page, gzipped, from the tool's own help: help2man makes
# the page from the general help, and a COMMANDS section from each command's
# help, so the page lists every command and option the tool has and changes with
# it. Usage: make-man-page.sh <varnel-vst> <output.1.gz>
set -euo pipefail
tool=$1
output=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The commands, as the general help lists them; "help" only prints that help.
mapfile -t commands < <("$tool" --help |
  awk '/^Subcommands:/ { listing = 1; next } listing && /^  [a-z]/ { print $1 } listing && /^$/ { exit }')
if [ ${#commands[@]} -eq 0 ]; then
  echo "make-man-page: '$tool --help' lists no commands" >&2
  exit 1
fi

# Each command's own page from its synopsis on, its sections made paragraphs of
# one subsection.
{
  echo '[COMMANDS]'
  for command in "${commands[@]}"; do
    [ "$command" != help ] || continue
    echo ".SS \"varnel-vst $command\""
    help2man --no-info --help-option="$command --help" "$tool" |
      sed -e '1,/^\.SH SYNOPSIS$/d' \
          -e 's/^\.SH DESCRIPTION$/.PP/' \
          -e 's/^\.SH OPTIONS$/.PP\nOptions:/' \
          -e 's/^\.SS "\(.*\)"$/.PP\n\1/'
  done
} >"$work/commands.h2m"

help2man --no-info --name="VST 3 effects from the command line" --include="$work/commands.h2m" "$tool" >"$work/page.1"
gzip -9n <"$work/page.1" >"$output"
