#!/usr/bin/env bash
# Builds Quillet for release in build-package/ (optimised, no tests, Debian's hardening flags) and
# makes its Debian package with CPack (cmake/Packaging.cmake): quillet_VERSION_ARCH.deb, whose
# path is the last line printed, once lintian finds no error and no warning in it. Needs the
# packages of scripts/setup.sh.
# Usage: scripts/package.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-package

for tool in cmake ninja cpack dpkg-buildflags dpkg-shlibdeps help2man lintian; do
    command -v "$tool" >/dev/null || { echo "package.sh: $tool is missing (run scripts/setup.sh)" >&2; exit 2; }
done

# The flags a Debian build uses (dpkg-buildflags), hardening included; without debug
# information, since the package's programs are stripped.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

rm -f "$build"/quillet_*.deb
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLET_BUILD_TESTS=OFF \
    -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags"
cmake --build "$build" -j2
(cd "$build" && cpack -G DEB)
packages=("$build"/quillet_*.deb)
[[ -f ${packages[0]} ]] || { echo "package.sh: cpack made no package" >&2; exit 2; }
# Debian's own check of the package: an error or a warning fails the build (the informational
# tags are printed too; the ones it gives today are the binaries' .comment sections, the help
# kept beside the skin, which the window opens, and the window's own texts, such as "Adress").
lintian --display-info --fail-on error,warning "${packages[0]}" >&2 ||
    { echo "package.sh: lintian found errors or warnings in the package" >&2; exit 2; }
echo "${packages[0]}"
