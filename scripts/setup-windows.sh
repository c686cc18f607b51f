#!/usr/bin/env bash
# Builds the navigator's Windows libraries (x86_64-w64-mingw32): GTK+ 2 and
# what it needs, DCMTK, Boost.Filesystem and OpenJPEG, from the upstream tarballs that
# Debian's source packages carry, as pinned in scripts/windows-stack.versions.
#
#   scripts/setup-windows.sh [--download-only]
#
# VELMORA_WIN64_PREFIX  where the libraries go (default ~/.cache/velmora-win64)
# VELMORA_WIN64_WORK    downloads, build trees and logs (default PREFIX.work)
# VELMORA_WIN64_JOBS    parallel jobs (default: one per core)
#
# Each library is built once: a stamp in PREFIX/stamps holds the hash of its
# inputs (its line of the versions file, its build steps, the shared settings
# and the libraries before it) and a library whose stamp matches is skipped.
# Only what the programs load is built: the libraries, their headers and
# pkg-config files, with -O2 as Debian builds them; no programs, tests,
# examples or documentation of the libraries' own.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
versions=$repo/scripts/windows-stack.versions
host=x86_64-w64-mingw32
prefix=${VELMORA_WIN64_PREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/velmora-win64}
work=${VELMORA_WIN64_WORK:-$prefix.work}
jobs=${VELMORA_WIN64_JOBS:-$(nproc)}
downloads=$work/downloads
logs=$work/logs

packages=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
  libz-mingw-w64-dev wine wine64 meson ninja-build cmake pkg-config xz-utils bzip2 python3
  libglib2.0-dev-bin gettext bison gtk-update-icon-cache libgdk-pixbuf2.0-bin xvfb xauth)

install_packages() {
  local missing=() p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} = 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" = 0 ] || sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# The Debian archive apt is configured with for this system's release; its
# pool carries the tarballs of every release. Read from apt's configuration
# only: without an archive there the script stops and says so.
debian_archive() {
  local suite
  suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  "$repo/scripts/apt-archive.sh" "${suite:-bookworm}"
}

# Fields of a library's line: name version source tarball sha256.
line_of() { awk -v n="$1" '$1 == n' "$versions"; }
field() { line_of "$1" | awk -v f="$2" '{print $f}'; }
libraries() { awk '!/^#/ && NF {print $1}' "$versions"; }

# Fetches a source package's original tarball from the archive's pool with
# apt's own downloader, which checks the pinned hash.
download() {
  local name=$1 source tarball sha package pool
  source=$(field "$name" 3)
  tarball=$(field "$name" 4)
  sha=$(field "$name" 5)
  [ "$tarball" = - ] && return 0
  if [ ! -f "$downloads/$tarball" ]; then
    package=${source%%=*}
    case $package in
      lib*) pool=${package:0:4} ;;
      *) pool=${package:0:1} ;;
    esac
    if [ -z "$archive" ]; then archive=$(debian_archive) || exit 1; fi
    /usr/lib/apt/apt-helper download-file "$archive/pool/main/$pool/$package/$tarball" \
      "$downloads/$tarball" "SHA256:$sha" >/dev/null 2>&1 || true
  fi
  if ! echo "$sha  $downloads/$tarball" | sha256sum -c --quiet - 2>/dev/null; then
    echo "could not download $tarball with SHA-256 $sha (source package $source)" >&2
    rm -f "$downloads/$tarball"
    exit 1
  fi
}

# A fresh source tree of the library in $work/build/NAME; prints its path.
unpack() {
  local name=$1 tarball dir
  tarball=$(field "$name" 4)
  dir=$work/build/$name
  rm -rf "$dir"
  mkdir -p "$dir"
  tar -xf "$downloads/$tarball" -C "$dir" --strip-components=1
  echo "$dir"
}

write_cross_files() {
  mkdir -p "$work"
  cat >"$work/meson-cross.ini" <<EOF
[binaries]
c = '$host-gcc-posix'
cpp = '$host-g++-posix'
ar = '$host-ar'
strip = '$host-strip'
windres = '$host-windres'
pkgconfig = 'pkg-config'

[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'

[properties]
needs_exe_wrapper = true
pkg_config_libdir = '$prefix/lib/pkgconfig:/usr/$host/lib/pkgconfig'

[built-in options]
c_args = ['-I$prefix/include']
cpp_args = ['-I$prefix/include']
c_link_args = ['-L$prefix/lib']
cpp_link_args = ['-L$prefix/lib', '-static-libgcc', '-static-libstdc++']
EOF
}

export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig:/usr/$host/lib/pkgconfig
export PKG_CONFIG_PATH=
export WINEPREFIX=$work/wine
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

autotools_build() {
  local dir=$1
  shift
  (cd "$dir" && ./configure --host=$host --build=x86_64-linux-gnu --prefix="$prefix" \
    CC=$host-gcc-posix CXX=$host-g++-posix CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib" "$@")
}

# Leaves folders of a meson project (its programs, tests, examples) out of
# its build: meson_skip DIR FILE FOLDER...
meson_skip() {
  local dir=$1 file=$2 folder
  shift 2
  for folder; do
    grep -q "^ *subdir('$folder')" "$dir/$file"
    sed -i "s|^\( *\)subdir('$folder')|\1# subdir('$folder')|" "$dir/$file"
  done
}

meson_build() {
  local dir=$1
  shift
  meson setup "$dir/_build" "$dir" --cross-file "$work/meson-cross.ini" --prefix="$prefix" \
    --libdir=lib --buildtype=plain -Doptimization=2 -Ddebug=false --default-library=shared \
    --wrap-mode=nodownload "$@"
  ninja -C "$dir/_build" -j "$jobs" install
}

cmake_build() {
  local dir=$1
  shift
  cmake -S "$dir" -B "$dir/_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64.cmake" \
    -DVELMORA_WIN64_PREFIX="$prefix" -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release "$@"
  cmake --build "$dir/_build" -j "$jobs"
  cmake --install "$dir/_build"
}

# ---- One function per library, in the order of the versions file ----

build_zlib() {
  # Debian's own MinGW build: its library and headers are in the compiler's
  # default paths; the DLL goes beside the others for the disc.
  mkdir -p "$prefix/bin"
  cp /usr/$host/lib/zlib1.dll "$prefix/bin/"
}

build_libffi() {
  local dir
  dir=$(unpack libffi)
  autotools_build "$dir" --disable-static --enable-shared --disable-docs --disable-multi-os-directory
  make -C "$dir" -j "$jobs" install
}

build_pcre2() {
  local dir
  dir=$(unpack pcre2)
  autotools_build "$dir" --disable-static --enable-shared --enable-pcre2-8 --disable-pcre2-16 --disable-pcre2-32
  make -C "$dir" -j "$jobs" install
}

build_intl() {
  local source=$repo/scripts/windows
  mkdir -p "$prefix/bin" "$prefix/lib" "$prefix/include"
  cp "$source/libintl.h" "$prefix/include/"
  $host-gcc-posix -O2 -Wall -Wextra -Werror -shared -o "$prefix/bin/intl.dll" "$source/intl.c" \
    -Wl,--out-implib,"$prefix/lib/libintl.dll.a"
}

build_glib() {
  local dir
  dir=$(unpack glib)
  meson_skip "$dir" meson.build fuzzing
  meson_build "$dir" -Dtests=false -Dinstalled_tests=false -Dman=false -Dgtk_doc=false -Dnls=disabled \
    -Dlibmount=disabled -Dselinux=disabled -Dxattr=false -Dlibelf=disabled -Dsysprof=disabled
}

build_libpng() {
  local dir
  dir=$(unpack libpng)
  autotools_build "$dir" --disable-static --enable-shared
  make -C "$dir" -j "$jobs" install
}

build_libjpeg_turbo() {
  local dir
  # An absolute library folder: its own install rules take a relative one from
  # the directory the build was started in.
  dir=$(unpack libjpeg-turbo)
  cmake_build "$dir" -DENABLE_STATIC=OFF -DENABLE_SHARED=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
    -DCMAKE_INSTALL_LIBDIR="$prefix/lib"
}

build_pixman() {
  local dir
  dir=$(unpack pixman)
  meson_build "$dir" -Dtests=disabled -Dgtk=disabled -Dlibpng=disabled -Dopenmp=disabled
}

build_harfbuzz() {
  local dir
  dir=$(unpack harfbuzz)
  # Neither its programs nor its font subsetting library: Pango shapes with
  # the library alone, on Windows' own fonts.
  meson_skip "$dir" meson.build util
  sed -i "/^libharfbuzz_subset = library(/,/^)/ s/install: true,/install: false, build_by_default: false,/" \
    "$dir/src/meson.build"
  grep -q 'install: false, build_by_default: false,' "$dir/src/meson.build"
  meson_build "$dir" -Dglib=enabled -Dgobject=disabled -Dcairo=disabled -Dchafa=disabled -Dicu=disabled \
    -Dgraphite2=disabled -Dfreetype=disabled -Dgdi=enabled -Dtests=disabled -Dintrospection=disabled \
    -Ddocs=disabled -Dbenchmark=disabled
}

build_fribidi() {
  local dir
  dir=$(unpack fribidi)
  meson_skip "$dir" meson.build bin test
  meson_build "$dir" -Ddocs=false
}

build_cairo() {
  local dir ssp
  dir=$(unpack cairo)
  # cairo's own flags turn on _FORTIFY_SOURCE, whose checks MinGW keeps in
  # libssp; libtool links a DLL only when it finds libssp's import library.
  ssp=$(dirname "$($host-gcc-posix -print-file-name=libssp.dll.a)")
  # GTK+ 2 needs the PDF surface for printing to a file.
  autotools_build "$dir" --disable-static --enable-shared --enable-win32 --enable-win32-font --enable-png \
    --enable-pdf --disable-xlib --disable-xcb --disable-xlib-xrender --disable-ft --disable-fc --disable-quartz \
    --disable-svg --disable-ps --disable-script --disable-interpreter --disable-trace \
    --disable-gobject --disable-gtk-doc --disable-full-testing --disable-valgrind --disable-symbol-lookup \
    LIBS=-lssp LDFLAGS="-L$prefix/lib -L$ssp"
  # The library only: the test suite and the utilities are not needed.
  make -C "$dir/src" -j "$jobs" install
  # libssp's DLL goes beside the others.
  cp "$($host-gcc-posix -print-file-name=libssp-0.dll)" "$prefix/bin/"
}

build_pango() {
  local dir
  dir=$(unpack pango)
  meson_skip "$dir" meson.build utils examples tests tools
  meson_build "$dir" -Dintrospection=disabled -Dfontconfig=disabled -Dfreetype=disabled -Dgtk_doc=false \
    -Dinstall-tests=false -Dlibthai=disabled -Dxft=disabled -Dsysprof=disabled -Dcairo=enabled
}

build_gdk_pixbuf() {
  local dir
  dir=$(unpack gdk-pixbuf)
  # Every loader is built into the library: no loader modules and no cache
  # file to find beside the program.
  meson_build "$dir" -Dpng=enabled -Djpeg=enabled -Dtiff=disabled -Dbuiltin_loaders=all \
    -Dintrospection=disabled -Dman=false -Dgtk_doc=false -Ddocs=false -Dinstalled_tests=false -Dtests=false \
    -Dgio_sniffing=false
}

build_atk() {
  local dir
  dir=$(unpack atk)
  # The accessibility bus and its XML tools are not built, so neither is
  # their library dependency needed.
  sed -i "s/^libxml_dep = dependency('libxml-2.0', version: libxml_req_version)$/libxml_dep = dependency('libxml-2.0', version: libxml_req_version, required: not get_option('atk_only'))/" \
    "$dir/meson.build"
  # The C library of Windows has no LC_MESSAGES; an object's locale is then
  # that of its character handling.
  meson_build "$dir" -Datk_only=true -Dintrospection=disabled -Ddocs=false -Dx11=disabled \
    -Dc_args=-DLC_MESSAGES=LC_CTYPE
}

build_gtk2() {
  local dir
  dir=$(unpack gtk2)
  # The libraries' own test programs are built with them unless left out.
  sed -i 's/^SUBDIRS = theme-bits \. tests$/SUBDIRS = theme-bits ./' "$dir/gtk/Makefile.in"
  sed -i 's/^SUBDIRS = $(gdktarget) \. tests$/SUBDIRS = $(gdktarget) ./' "$dir/gdk/Makefile.in"
  grep -q '^SUBDIRS = theme-bits \.$' "$dir/gtk/Makefile.in"
  grep -q '^SUBDIRS = $(gdktarget) \.$' "$dir/gdk/Makefile.in"
  # Windows' own input method is the one built in: the others serve scripts
  # and keyboards a Polish disc's user does not type with.
  autotools_build "$dir" --disable-static --enable-shared --with-gdktarget=win32 --without-x --disable-glibtest \
    --disable-cups --disable-papi --disable-test-print-backend --disable-gtk-doc --disable-man \
    --disable-introspection --with-included-immodules=ime
  # The libraries, their data and the native Windows theme engine; the
  # demos, tests and documentation are not needed.
  make -C "$dir/gdk" -j "$jobs" install
  make -C "$dir/gtk" -j "$jobs" install
  make -C "$dir/modules/engines/ms-windows" -j "$jobs" install
  make -C "$dir" install-pkgconfigDATA
}

build_boost() {
  local dir
  dir=$(unpack boost)
  # Debian's tarball leaves out the build engine's generated parser.
  (cd "$dir/tools/build/src/engine" && bison -y -d -o jamgram.cpp jamgram.y)
  (cd "$dir" && ./bootstrap.sh --with-libraries=filesystem,system >/dev/null &&
    echo "using gcc : mingw : $host-g++-posix ;" >user-config.jam &&
    ./b2 --user-config=user-config.jam toolset=gcc-mingw target-os=windows address-model=64 architecture=x86 \
      binary-format=pe abi=ms threading=multi threadapi=win32 link=static runtime-link=shared variant=release \
      --with-filesystem --with-system --layout=system --prefix="$prefix" -j "$jobs" -d0 install)
}

build_openjpeg() {
  local dir
  # The diagnostic viewer's JPEG 2000 decoder: the library alone, without its
  # command-line codecs.
  dir=$(unpack openjpeg)
  cmake_build "$dir" -DBUILD_SHARED_LIBS=ON -DBUILD_STATIC_LIBS=OFF -DBUILD_CODEC=OFF -DBUILD_TESTING=OFF \
    -DBUILD_DOC=OFF -DBUILD_PKGCONFIG_FILES=ON -DCMAKE_INSTALL_LIBDIR=lib
}

build_dcmtk() {
  local dir
  dir=$(unpack dcmtk)
  # The navigator reads files and indexes; the viewer also decodes pictures
  # (JPEG, JPEG-LS and RLE) and maps them for display.
  # The configuration runs test programs under wine: static, they need no DLLs.
  # Wide file names let UTF-8 paths reach files whatever the system code page.
  cmake_build "$dir" -DCMAKE_EXE_LINKER_FLAGS=-static -DDCMTK_WINEPREFIX="$WINEPREFIX" \
    -DCPP_RUNTIME="$(ls /usr/lib/gcc/$host/*-posix/libstdc++-6.dll | head -n 1)" -DBUILD_APPS=OFF -DBUILD_SHARED_LIBS=OFF \
    -DDCMTK_MODULES="ofstd;oflog;dcmdata;dcmimgle;dcmimage;dcmjpeg;dcmjpls" \
    -DDCMTK_WITH_ZLIB=ON -DDCMTK_WITH_OPENSSL=OFF -DDCMTK_WITH_PNG=OFF -DDCMTK_WITH_TIFF=OFF \
    -DDCMTK_WITH_XML=OFF -DDCMTK_WITH_ICONV=OFF -DDCMTK_WITH_ICU=OFF -DDCMTK_WITH_SNDFILE=OFF \
    -DDCMTK_WITH_WRAP=OFF -DDCMTK_WITH_OPENJPEG=OFF -DDCMTK_WITH_DOXYGEN=OFF -DDCMTK_DEFAULT_DICT=builtin \
    -DDCMTK_ENABLE_CHARSET_CONVERSION="<disabled>" -DDCMTK_WIDE_CHAR_FILE_IO_FUNCTIONS=ON -DBUILD_TESTING=OFF
}

# ---- Driver ----

install_packages
mkdir -p "$downloads" "$logs" "$prefix/stamps"
# One build at a time in the prefix: a second run waits for the first.
exec 9>"$work/lock"
if ! flock -n 9; then
  echo "Waiting for the other build of the Windows libraries in $prefix"
  flock 9
fi
archive=
for name in $(libraries); do download "$name"; done
[ "${1:-}" = --download-only ] && exit 0
write_cross_files

# Seconds of processor time the finished builds took so far, in $cpu_seconds
# (`times` in this shell: a subshell would count only its own children).
read_cpu_seconds() {
  times >"$work/times"
  cpu_seconds=$(awk 'NR == 2 {split($1, u, /[ms]/); split($2, s, /[ms]/); printf "%d", u[1] * 60 + u[2] + s[1] * 60 + s[2]}' \
    "$work/times")
}

# The shared settings every library's hash includes.
common=$(declare -f write_cross_files autotools_build meson_skip meson_build cmake_build unpack; cat "$repo/cmake/mingw-w64.cmake")
previous=$(printf '%s' "$common" | sha256sum | cut -d' ' -f1)
total_start=$(date +%s)
read_cpu_seconds
total_cpu=$cpu_seconds
for name in $(libraries); do
  builder=build_${name//-/_}
  extra=""
  [ "$name" = intl ] && extra=$(cat "$repo/scripts/windows/libintl.h" "$repo/scripts/windows/intl.c")
  hash=$({
    echo "$previous"
    line_of "$name"
    declare -f "$builder"
    echo "$extra"
  } | sha256sum | cut -d' ' -f1)
  stamp=$prefix/stamps/$name
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$hash" ]; then
    previous=$hash
    continue
  fi
  rm -f "$stamp"
  start=$(date +%s)
  read_cpu_seconds
  cpu=$cpu_seconds
  echo "Building $name $(field "$name" 2) for $host"
  # Not in a condition: there errexit would be off inside the builder.
  set +e
  (
    set -e
    "$builder"
  ) >"$logs/$name.log" 2>&1
  status=$?
  set -e
  if [ $status != 0 ]; then
    echo "$name failed; the end of $logs/$name.log:" >&2
    tail -n 40 "$logs/$name.log" >&2
    exit 1
  fi
  echo "$hash" >"$stamp"
  # Processor time beside the time taken: on a shared machine only the
  # former tells what the build costs.
  seconds=$(($(date +%s) - start))
  read_cpu_seconds
  echo "$name $seconds s (processor $((cpu_seconds - cpu)) s, $jobs jobs)" | tee -a "$logs/durations.txt"
  rm -rf "$work/build/$name"
  previous=$hash
done
read_cpu_seconds
echo "Windows libraries ready in $prefix ($(($(date +%s) - total_start)) s, processor $((cpu_seconds - total_cpu)) s)"
