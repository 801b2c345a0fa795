#!/usr/bin/env bash
# Fails when a shared library exports more than its public API. Every symbol it
# defines must belong to a class, enum or function that one of the public
# headers declares in the given namespace (members, typeinfo, vtables), and must
# not belong to an Internals record. The standard library's template instances
# that the compiler emits as weak symbols for the library's types are counted
# apart, not refused: they are the compiler's, the same in every library.
# Anything else, such as the VST 3 SDK's classes, the hosting helpers or the
# framework's, is listed and fails the check.
# Usage: check-exports.sh <library.so> <namespace> <public header>...
set -euo pipefail
if [ $# -lt 3 ]; then
  echo "usage: $0 <library.so> <namespace> <public header>..." >&2
  exit 2
fi
library=$1
namespace=$2
shift 2
headers=("$@")

declared_publicly() {
  grep -qE "(class|struct|enum class|enum) +$1\b|\b$1\(" "${headers[@]}"
}

# Each defined symbol as "<nm type> <entity>": demangled, without the words
# that name a class's typeinfo, vtable or thunks, and without the return type
# that a function template's name begins with (the text before the first space
# outside brackets, when it comes before the parameter list).
entities() {
  nm -D --defined-only -C "$library" | cut -d' ' -f2- | awk '
    {
      type = $1
      name = substr($0, 3)
      sub(/^(typeinfo name for |typeinfo for |vtable for |VTT for |construction vtable for |guard variable for |non-virtual thunk to |virtual thunk to )/, "", name)
      depth = 0
      for (i = 1; i <= length(name); i++) {
        c = substr(name, i, 1)
        if (c == "<" || c == "[") depth++
        else if (c == ">" || c == "]") depth--
        else if (depth == 0 && c == "(") break
        else if (depth == 0 && c == " " && substr(name, i - 8, 8) != "operator") {
          name = substr(name, i + 1)
          break
        }
      }
      print type, name
    }'
}

public=0
standard=0
refused=()
while read -r type name; do
  if [[ $name == "$namespace::"* ]]; then
    rest=${name#"$namespace::"}
    first=${rest%%[:(<[ ]*}
    if [[ $rest != *::Internals::* ]] && declared_publicly "$first"; then
      public=$((public + 1))
      continue
    fi
  elif [[ $name == std::* || $name == __gnu_cxx::* ]] && [[ $type == [WVu] ]]; then
    standard=$((standard + 1))
    continue
  fi
  refused+=("$name")
done < <(entities)

if [ ${#refused[@]} -gt 0 ]; then
  echo "exports: $library exports ${#refused[@]} symbols beyond its public API:" >&2
  printf '  %s\n' "${refused[@]:0:20}" >&2
  exit 1
fi
if [ "$public" -eq 0 ]; then
  echo "exports: $library exports nothing of $namespace" >&2
  exit 1
fi
echo "exports: $(basename "$library"): $public public symbols of $namespace," \
     "$standard standard-library template instances, nothing else"
