#!/usr/bin/env bash
# Fails, naming the files, when a C++ source of the tree is not as clang-format would write it
# (the house style in .clang-format). `clang-format -i FILE` mends one.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
JEERBOX_PACKAGES=(clang-format)
install_missing
unformatted=()
while IFS= read -r file; do
  clang-format --dry-run -Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
done < <(git ls-files '*.cpp' '*.h')
if [ ${#unformatted[@]} -gt 0 ]; then
  echo "Not formatted with .clang-format (clang-format -i FILE mends it):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "Every C++ source is formatted."
