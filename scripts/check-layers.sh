#!/usr/bin/env bash
# Includes go down only. Fails, naming each offending line, when
#  - a file outside platform/gtk and platform/mac includes a backend header
#    (ours or the toolkit's), or one backend includes the other;
#  - a file in platform/ or system/ includes app/, web/, bridge/ or ball/;
#  - a file in web/ includes bridge/, which sits beside it, not below;
#  - a file in web/, bridge/, system/ or ball/ includes app/, the top floor;
#  - identity/, the lowest floor, includes anything of the project (its
#    header is made from identity/identity.h.in, which is checked).
# Covers the product's folders; the tests and benchmarks drive the real
# backend on purpose.
set -euo pipefail
cd "$(dirname "$0")/.."

toolkit='^(gtk|gdk|gdk-pixbuf|glib|gio|gobject|webkit2|jsc|pango|cairo|AppKit|WebKit|Foundation|Cocoa|objc|dispatch)/|^(glib|gio|cairo|pango)[^/]*\.h$'
status=0
report() {
  echo "$1: includes $2 ($3)"
  status=1
}

while IFS= read -r -d '' file; do
  dir=$(dirname "$file")
  lineno=0
  while IFS= read -r line; do
    lineno=$((lineno + 1))
    [[ $line =~ ^[[:space:]]*#[[:space:]]*(include|import)[[:space:]]*([\"\<])([^\">]+) ]] || continue
    quote=${BASH_REMATCH[2]} target=${BASH_REMATCH[3]}
    where="$file:$lineno"
    if [[ $quote == '<' ]]; then
      if [[ $target =~ $toolkit && $dir != platform/gtk* && $dir != platform/mac* ]]; then
        report "$where" "<$target>" "a toolkit header outside the backends"
      fi
      continue
    fi
    # A name without a folder is beside the including file.
    [[ $target == */* ]] || target="$dir/$target"
    case $dir in
    platform/gtk*) [[ $target == platform/mac/* ]] && report "$where" "$target" "one backend includes the other" ;;
    platform/mac*) [[ $target == platform/gtk/* ]] && report "$where" "$target" "one backend includes the other" ;;
    *)
      if [[ $target == platform/gtk/* || $target == platform/mac/* ]]; then
        report "$where" "$target" "a backend header outside the backends"
      fi
      ;;
    esac
    case $dir in
    platform* | system*)
      if [[ $target =~ ^(app|web|bridge|ball)/ ]]; then
        report "$where" "$target" "platform/ and system/ include no product folder"
      fi
      ;;
    web*)
      if [[ $target == bridge/* ]]; then
        report "$where" "$target" "web/ includes nothing of bridge/"
      fi
      ;;&
    web* | bridge* | ball*)
      if [[ $target == app/* ]]; then
        report "$where" "$target" "only app/ includes app/"
      fi
      ;;
    identity*)
      [[ -e $target ]] && report "$where" "$target" "identity/ includes nothing of the project"
      ;;
    esac
  done <"$file"
done < <(find app web bridge system ball platform identity -type f \
  \( -name '*.h' -o -name '*.h.in' -o -name '*.cpp' -o -name '*.mm' -o -name '*.m' \) -print0 |
  sort -z)

if ((status == 0)); then
  echo "layers: every include goes down"
fi
exit $status
