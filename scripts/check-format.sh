#!/usr/bin/env bash
# Fails when a C++ source differs from the project's clang-format style
# (.clang-format at the root; the hosting helpers keep the SDK's own layout).
# Pass --fix to rewrite the files instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
report=$(mktemp)
trap 'rm -f "$report"' EXIT
if ! clang-format --dry-run -Werror "${files[@]}" 2>"$report"; then
  grep -E '^[^ ].*: (error|warning):' "$report" | cut -d: -f1 | sort -u | sed 's/^/format: differs: /' >&2
  echo "format: run ./scripts/check-format.sh --fix" >&2
  exit 1
fi
echo "format: all ${#files[@]} files match"
