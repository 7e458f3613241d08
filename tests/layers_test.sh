#!/usr/bin/env bash
# Keeps the include graph to the layers. A file's folder is its layer; it may include headers of
# its own layer and of the layers below it, never of a layer above:
#   core  <  platform, ui  <  device  <  app        (ui and device do not know each other)
#                                        device  <  cli   (the command line: no widgets, no app)
# The core and the plugins include no Qt header. Of the platform layer, the plugins may include the
# parts built without Qt: the message numbers and the keyboard layout (which the input hook links).
# Prints every offending include and fails.
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root" || exit 2

allowed() {  # layer -> the folders under src/ its files may include
  case $1 in
    core) echo "core" ;;
    platform) echo "core platform" ;;
    ui) echo "core platform ui" ;;
    device) echo "core platform device" ;;
    app) echo "core platform ui device app" ;;
    cli) echo "core platform device cli" ;;
    plugins) echo "core" ;;
  esac
}

bad=0
while IFS= read -r file; do
  case $file in
    src/*) layer=${file#src/}; layer=${layer%%/*} ;;
    plugins/*) layer=plugins ;;
  esac
  ok=" $(allowed "$layer") "
  while IFS=: read -r line include; do
    top=${include%%/*}
    case $top in
      core|platform|ui|device|app|cli)
        if [[ $layer == plugins && ( $include == platform/messages.h || $include == platform/keyboard/* ) ]]; then
          continue
        fi
        if [[ $ok != *" $top "* ]]; then
          echo "$file:$line: a $layer file includes \"$include\" from the $top layer above it"
          bad=1
        fi ;;
    esac
  done < <(grep -noE '^\s*#\s*include\s*"[^"]+"' "$file" | sed -E 's/:\s*#\s*include\s*"/:/; s/"$//')
  if [[ $layer == core || $layer == plugins ]] && grep -nE '^\s*#\s*include\s*<Q' "$file" >/dev/null; then
    echo "$file: the $layer includes a Qt header: $(grep -hE '^\s*#\s*include\s*<Q' "$file" | head -1)"
    bad=1
  fi
done < <(find src plugins -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) | sort)

if [ $bad -eq 0 ]; then
  echo "layers: every include keeps to its layer"
fi
exit $bad
