#!/usr/bin/env bash
# cmake --install into a scratch prefix: the files it must hold, the man page covering
# every option of the program, a C program built with pkg-config and one built with the
# CMake package, the Python example on the installed library, and the Debian package.
#   install_test.sh VELMORANE_BINARY SOURCE_DIR
set -u
build="$(cd "$(dirname "$1")" && pwd)"
source_dir="$(cd "$2" && pwd)"
if grep -q 'fsanitize' "$build/CMakeCache.txt"; then
  echo "sanitizer build: programs outside it cannot link its library; skipped"
  exit 0
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || fail "cmake --install: $(tail -3 "$work/install.log")"
for file in bin/velmorane libexec/velmorane/velmorane-svg include/velmorane.h lib/libvelmorane.a lib/libvelmorane.so \
            lib/pkgconfig/velmorane.pc lib/cmake/velmorane/velmoraneConfig.cmake \
            share/man/man1/velmorane.1.gz share/doc/velmorane/copyright \
            share/doc/velmorane/README.md.gz; do
  [ -e "$prefix/$file" ] || fail "not installed: $file"
done
if [ -x "$build/src/frontends/window/velmorane-gui" ]; then
  for file in bin/velmorane-gui share/applications/velmorane-gui.desktop \
              share/icons/hicolor/scalable/apps/velmorane.svg; do
    [ -e "$prefix/$file" ] || fail "not installed: $file"
  done
fi

# Every option the program lists is in the man page.
zcat "$prefix/share/man/man1/velmorane.1.gz" >"$work/velmorane.1"
while read -r option; do
  grep -qF -- "\\fB$(printf '%s' "$option" | sed 's/-/\\-/g')\\fR" "$work/velmorane.1" ||
    fail "man page lacks $option"
done < <("$prefix/bin/velmorane" --help | grep -oE '^  -[a-z]+')

printf '<p>Hello <b>there</b></p>\n' >"$work/page.html"
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
# Only our include folder: the picture libraries' compile flags are not the user's.
if command -v pkg-config >/dev/null; then
  cflags="$(pkg-config --cflags velmorane)"
  read -r -a flags <<<"$cflags"
  [ "${#flags[@]}" -eq 1 ] && [ "$(realpath -m "${flags[0]#-I}")" = "$(realpath "$prefix/include")" ] ||
    fail "pkg-config --cflags: $cflags"
fi
if command -v cc >/dev/null && command -v pkg-config >/dev/null; then
  # shellcheck disable=SC2046
  cc "$source_dir/examples/convert_stdin.c" $(pkg-config --cflags --libs velmorane) \
    -o "$work/convert_stdin" 2>"$work/cc.log" || fail "pkg-config build: $(cat "$work/cc.log")"
  LD_LIBRARY_PATH="$prefix/lib" "$work/convert_stdin" <"$work/page.html" >"$work/c.rtf"
  grep -q '^{.rtf1' "$work/c.rtf" && grep -q there "$work/c.rtf" || fail "pkg-config program: no RTF"
fi

# A CMake project that finds the package and links the static library.
mkdir -p "$work/consumer"
cp "$source_dir/examples/convert_stdin.c" "$work/consumer/"
cat >"$work/consumer/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(consumer C CXX)
find_package(velmorane 3 REQUIRED)
add_executable(convert_stdin convert_stdin.c)
target_link_libraries(convert_stdin PRIVATE velmorane::velmorane_static)
set_target_properties(convert_stdin PROPERTIES LINKER_LANGUAGE CXX)
CMAKE
if cmake -S "$work/consumer" -B "$work/consumer/build" -DCMAKE_PREFIX_PATH="$prefix" \
     >"$work/consumer.log" 2>&1 && cmake --build "$work/consumer/build" >>"$work/consumer.log" 2>&1; then
  "$work/consumer/build/convert_stdin" text <"$work/page.html" | grep -q 'Hello there' ||
    fail "CMake package program: no text"
else
  fail "CMake package build: $(tail -5 "$work/consumer.log")"
fi

if command -v python3 >/dev/null; then
  python3 "$source_dir/examples/convert.py" --library "$prefix/lib/libvelmorane.so" --text \
    "$work/page.html" | grep -q 'Hello there' || fail "Python example on the installed library"
fi

# The Debian package holds the program, the library and the man page.
if command -v cpack >/dev/null && command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps >/dev/null; then
  (cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/deb" >"$work/cpack.log" 2>&1) ||
    fail "cpack: $(tail -5 "$work/cpack.log")"
  # Three packages as Debian users expect them: the program and library, the window
  # (when it was built) and the development files.
  check_package() {  # NAME FILE... : the package exists and holds the files
    local name="$1" deb
    depends=""
    shift
    deb="$(ls "$work"/deb/"${name}"_*.deb 2>/dev/null | head -n 1)"
    [ -n "$deb" ] || { fail "cpack made no $name package"; return; }
    listing="$(dpkg-deb -c "$deb")"
    for file in "$@"; do
      grep -qE " \.$file( |\$)" <<<"$listing" || fail "$name lacks $file"
    done
    depends="$(dpkg-deb -f "$deb" Depends)"
  }
  check_package velmorane /usr/bin/velmorane /usr/lib/libvelmorane.so.3 \
    /usr/share/man/man1/velmorane.1.gz /usr/share/doc/velmorane/copyright
  for dependency in librsvg2-2 libwebp7 libtiff6 libcurl4; do
    grep -q "$dependency" <<<"$depends" || fail "velmorane does not depend on $dependency: $depends"
  done
  ! grep -qE ' \./usr/include/| \./usr/bin/velmorane-gui' <<<"$listing" || fail "velmorane holds another package's files"
  check_package libvelmorane-dev /usr/include/velmorane.h /usr/lib/libvelmorane.a \
    /usr/lib/pkgconfig/velmorane.pc
  grep -q 'velmorane (= ' <<<"$depends" || fail "libvelmorane-dev does not depend on velmorane"
  if [ -x "$build/src/frontends/window/velmorane-gui" ]; then
    check_package velmorane-gui /usr/bin/velmorane-gui /usr/share/applications/velmorane-gui.desktop
    grep -qi 'qt6' <<<"$depends" || fail "velmorane-gui does not depend on Qt: $depends"
  fi
fi

[ "$failures" -eq 0 ] && echo "install checks passed"
[ "$failures" -eq 0 ]
