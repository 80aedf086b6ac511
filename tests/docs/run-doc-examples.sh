#!/usr/bin/env bash
# Runs every example the README and docs/ mark as runnable (```sh runnable,
# ```python runnable, ```c runnable), in a scratch folder beside the sources,
# with the host, library and Python package of the build and no sound
# hardware: the built-in synthesizer renders into a WAV file. In a block
# that shows a session, only the lines after "$ " run.
# Usage: run-doc-examples.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/microtune-docs.XXXXXX")
trap 'rm -rf "$work"' EXIT
ln -s "$src/tools" "$work/tools"
export PATH="$build/tools/microtune:$PATH" PYTHONPATH="$src/bindings/python"
export MICROTUNE_LIBRARY="$build/lib/libmicrotune.so" MICROTUNE_SYNTH_WAV="$work/example.wav"
export XDG_CACHE_HOME="$work/cache"
count=0
for page in "$src/README.md" "$src"/docs/*.md; do
  # Each block into a file of its own: page-N.kind
  python3 - "$page" "$work" <<'PY'
import re, sys
page, work = sys.argv[1], sys.argv[2]
name = page.rsplit("/", 1)[-1].replace(".md", "")
blocks = re.findall(r"^```(sh|python|c) runnable\n(.*?)^```$", open(page).read(), re.S | re.M)
for n, (kind, text) in enumerate(blocks):
    if kind == "sh" and re.search(r"^\$ ", text, re.M):
        text = "".join(line[2:] + "\n" for line in text.splitlines() if line.startswith("$ "))
    open("%s/%s-%d.%s" % (work, name, n, kind), "w").write(text)
PY
done
cd "$work"
for block in *-[0-9]*.*; do
  echo "== $block"
  case $block in
    *.sh) bash -euo pipefail "$block" >/dev/null ;;
    *.python) python3 "$block" >/dev/null ;;
    *.c) cc -std=c11 -Wall -Werror -I"$src/include" "$block" -L"$build/lib" -lmicrotune \
           -Wl,-rpath,"$build/lib" -o "$block.bin" && "./$block.bin" >/dev/null ;;
  esac || { echo "run-doc-examples: the example $block fails" >&2; exit 1; }
  count=$((count + 1))
done
echo "$count runnable examples ran"
