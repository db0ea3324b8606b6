#!/usr/bin/env bash
# Fails when a C++ source of the repository differs from what the project's .clang-format makes
# of it. With --fix, formats those files in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."
fix=0
[ "${1:-}" = "--fix" ] && fix=1
bad=()
while IFS= read -r -d '' f; do
  if ! clang-format --style=file "$f" | cmp -s - "$f"; then
    bad+=("$f")
  fi
done < <(git ls-files -z -- '*.cpp' '*.h' '*.hpp' '*.cc' '*.inc')
if [ "${#bad[@]}" -eq 0 ]; then
  exit 0
fi
if [ "$fix" -eq 1 ]; then
  clang-format --style=file -i "${bad[@]}"
  printf 'formatted %s\n' "${bad[@]}"
  exit 0
fi
printf 'not formatted (run scripts/check-format.sh --fix):\n' >&2
printf '  %s\n' "${bad[@]}" >&2
exit 1
