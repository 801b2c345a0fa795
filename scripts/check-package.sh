#!/usr/bin/env bash
# Builds the Debian packages (scripts/package.sh), unpacks them into a temporary
# root as dpkg would lay them out, and uses them from there as their users
# would. Nothing is installed into the system.
#   - apt could install all three on this system (a simulation: dependencies
#     resolve), and each has its copyright file;
#   - the shared library exports its public API and nothing else, under the
#     SONAME of the project's version;
#   - a CMake project and a plain compiler call with pkg-config build against
#     them, link the shared library and run (scripts/check-consumer.sh);
#   - varnel-vst --version runs with every symbol bound at start;
#   - the man page shows every command and option of the tool's help.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/package.sh
debs=(build/package/*.deb)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root

fail() {
  echo "package: $*" >&2
  exit 1
}

echo "== package: apt could install ${debs[*]}"
apt-get install --simulate --no-install-recommends "${debs[@]/#/./}" >"$work/apt.log" 2>&1 ||
  fail "apt cannot install the packages: $(tail -n 5 "$work/apt.log")"

for deb in "${debs[@]}"; do
  dpkg-deb --extract "$deb" "$root"
  package=$(dpkg-deb --field "$deb" Package)
  [ -s "$root/usr/share/doc/$package/copyright" ] || fail "$package has no copyright file"
done
libdir=$root/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)
version=$(sed -n 's/^project(VarnelVST VERSION \([0-9]*\.[0-9]*\)\..*/\1/p' CMakeLists.txt)

[ -x "$root/usr/libexec/varnelvst/varnel-vst-plugin-host" ] ||
  fail "the runtime package lacks the helper program of isolated plug-ins"

echo "== package: exports of the shared libraries"
for library in libvarnelvst libvarnel_framework; do
  soname=$(readelf -d "$libdir/$library.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [ "$soname" = "$library.so.$version" ] || fail "$library.so has SONAME '$soname', not $library.so.$version"
done
./scripts/check-exports.sh "$libdir/libvarnelvst.so" varnel::extensions::vst "$root"/usr/include/VarnelVST/*.h
./scripts/check-exports.sh "$libdir/libvarnel_framework.so" varnel "$root"/usr/include/varnel/*.h

./scripts/check-consumer.sh --root "$root"

echo "== package: varnel-vst and its man page"
tool=$root/usr/bin/varnel-vst
export LD_LIBRARY_PATH=$libdir
LD_BIND_NOW=1 "$tool" --version

man_page=$work/varnel-vst.txt
MANWIDTH=200 man --no-hyphenation --no-justification --local-file \
  "$root/usr/share/man/man1/varnel-vst.1.gz" 2>/dev/null >"$man_page" ||
  fail "no man page for varnel-vst"
mapfile -t commands < <("$tool" --help |
  awk '/^Subcommands:/ { listing = 1; next } listing && /^  [a-z]/ { print $1 } listing && /^$/ { exit }')
missing=()
documented=0
checked=0
for command in "${commands[@]}"; do
  [ "$command" != help ] || continue
  documented=$((documented + 1))
  grep -q "varnel-vst $command" "$man_page" || missing+=("$command")
  for option in $("$tool" "$command" --help | grep -oE '^  (-[a-z],)?--[a-z-]+' | sed 's/.*--/--/'); do
    grep -q -- "$option" "$man_page" || missing+=("$command $option")
    checked=$((checked + 1))
  done
done
[ ${#missing[@]} -eq 0 ] || fail "the man page lacks: ${missing[*]}"
[ "$checked" -gt 0 ] || fail "no command's help lists an option"
echo "man page: $documented commands with all $checked options of their help"
