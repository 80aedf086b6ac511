#!/usr/bin/env bash
# Checks a built microtune.dll: its export table must hold exactly the
# names listed in EXPECTED, and it may import only system DLLs. For
# microtune.exe, EXPECTED is empty (/dev/null) and ALSO names microtune.dll,
# the one other DLL it may import (the C++ runtime is linked in).
# Usage: check-exports.sh OBJDUMP DLL|EXE EXPECTED [ALSO]
set -euo pipefail
objdump=$1 dll=$2 expected=$3 also=${4:-}

dump=$("$objdump" -p "$dll")
actual=$(printf '%s\n' "$dump" |
  sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | LC_ALL=C sort)
wanted=$(grep -v '^#' "$expected" | sed '/^[[:space:]]*$/d' | LC_ALL=C sort || true)

status=0
if [ "$actual" != "$wanted" ]; then
  echo "export table of $dll differs (< expected, > actual):"
  diff <(printf '%s\n' "$wanted") <(printf '%s\n' "$actual") || true
  status=1
fi
echo "$(printf '%s\n' "$actual" | sed '/^$/d' | wc -l) names exported"

imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p')
while IFS= read -r name; do
  [ -n "$name" ] || continue
  lower=$(printf '%s' "$name" | tr '[:upper:]' '[:lower:]')
  [ -n "$also" ] && [ "$lower" = "$also" ] && continue
  case "$lower" in
    kernel32.dll | user32.dll | winmm.dll | msvcrt.dll | api-ms-win-crt-*.dll) ;;
    *)
      echo "$dll imports a DLL that is not part of Windows: $name"
      status=1
      ;;
  esac
done <<<"$imports"
echo "imports: $(printf '%s ' $imports)"
exit $status
