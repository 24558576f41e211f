#!/usr/bin/env bash
# Builds the Debian packages ksv27-vorn and ksv27-vorn-demo into OUTDIR
# (default: out/) from this tree: a release build with Debian's hardening
# flags in build-package/, each install component staged and packed with
# dpkg-deb, versioned from the CMake project version, library dependencies
# from dpkg-shlibdeps. Ends with lintian; an error there fails the build.
# Reproducible: SOURCE_DATE_EPOCH, unless set, is the date of the newest
# entry of cmake/install/debian/changelog (whose version must be the
# project's), every packed file carries that time, so two builds of the same
# tree (with or without .git) give the same bytes.
# KSV_PACKAGE_CHECKS=0 leaves out the set-up and lintian (a second build of
# the same tree, as scripts/ci-package.sh makes to compare).
# Usage: scripts/package.sh [OUTDIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "${1:-$root/out}"
out=$(cd "${1:-$root/out}" && pwd)
build="$root/build-package"
debian="$root/cmake/install/debian"
stage=$(mktemp -d /tmp/ksv27-package-XXXXXX)
trap 'rm -rf "$stage"' EXIT
umask 022
checks=${KSV_PACKAGE_CHECKS:-1}
if [ "$checks" != 0 ]; then "$root/scripts/setup.sh"; fi
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(dpkg-parsechangelog -l "$debian/changelog" -S Timestamp)}
# Debian's flags map the build folder's path to "." from here.
cd "$root"

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"
export CFLAGS="$CPPFLAGS $CFLAGS" CXXFLAGS="$CPPFLAGS $CXXFLAGS"
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -G Ninja "${launcher[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
# Only what the packages hold; the tests are built and run elsewhere.
cmake --build "$build" -j "$(nproc)" --target KSV27_Vorn_User ksv27-vorn-cli ksv-crate-server ksvapi ksv27api

version=$(cat "$build/install/version")
logged=$(dpkg-parsechangelog -l "$debian/changelog" -S Version)
if [ "$logged" != "$version" ]; then
  echo "package.sh: the newest entry of $debian/changelog is $logged, the project is $version: add an entry" >&2
  exit 1
fi
arch=$(dpkg --print-architecture)
maintainer="KSV27_Vorn developers <ksv27-vorn@example.org>"
# Both packages are built from this one tree, named by its changelog.
source=$(dpkg-parsechangelog -l "$debian/changelog" -S Source)

# stage_package PACKAGE DEPENDS RECOMMENDS: installs the component, adds the
# documents and maintainer scripts, writes the control file and packs it.
stage_package() {
  local pkg=$1 depends=$2 recommends=$3 dir="$stage/$1"
  DESTDIR="$dir" cmake --install "$build" --component "$pkg" --strip >/dev/null
  find "$dir/usr/share/man" -type f -name '*.[1-9]' -exec gzip -9n {} +
  install -D -m 644 "$debian/copyright" "$dir/usr/share/doc/$pkg/copyright"
  gzip -9n <"$debian/changelog" >"$dir/usr/share/doc/$pkg/changelog.gz"
  chmod 644 "$dir/usr/share/doc/$pkg/changelog.gz"

  mkdir -m 755 "$dir/DEBIAN"
  # A script's #KSV_FUNCTIONS# line takes the package's shared functions.
  for script in postinst prerm postrm; do
    if [ -f "$debian/$pkg.$script" ]; then
      sed -e "/^#KSV_FUNCTIONS#\$/{r $debian/$pkg.functions" -e 'd}' "$debian/$pkg.$script" >"$dir/DEBIAN/$script"
      chmod 755 "$dir/DEBIAN/$script"
    fi
  done
  if [ -d "$dir/etc" ]; then
    (cd "$dir" && find etc -type f | sed 's|^|/|' | sort) >"$dir/DEBIAN/conffiles"
    chmod 644 "$dir/DEBIAN/conffiles"
  fi

  # dpkg-shlibdeps wants a source package's control file around it.
  local work="$stage/shlibs-$pkg" elves=()
  mkdir -p "$work/debian"
  printf 'Source: %s\n\nPackage: %s\nArchitecture: any\n' "$pkg" "$pkg" >"$work/debian/control"
  while IFS= read -r -d '' f; do
    if [ "$(head -c 4 "$f" | od -An -c | tr -d ' ')" = '177ELF' ]; then elves+=("$f"); fi
  done < <(find "$dir" -path "$dir/DEBIAN" -prune -o -type f -print0)
  # As Debian's own packages: no compiler notes in the binaries.
  strip --remove-section=.comment --remove-section=.note "${elves[@]}"
  local shlibs
  shlibs=$(cd "$work" && dpkg-shlibdeps -O "${elves[@]/#/-e}" | sed -n 's/^shlibs:Depends=//p')
  depends=${depends:+$depends, }$shlibs

  {
    echo "Package: $pkg"
    if [ "$pkg" != "$source" ]; then echo "Source: $source"; fi
    echo "Version: $version"
    echo "Architecture: $arch"
    echo "Maintainer: $maintainer"
    echo "Installed-Size: $(du -sk --exclude=DEBIAN "$dir" | cut -f1)"
    echo "Depends: $depends"
    if [ -n "$recommends" ]; then echo "Recommends: $recommends"; fi
    echo "Section: science"
    echo "Priority: optional"
    cat "$debian/$pkg.description"
  } >"$dir/DEBIAN/control"
  (cd "$dir" && find . -path ./DEBIAN -prune -o -path ./etc -prune -o -type f -printf '%P\0' |
    LC_ALL=C sort -z | xargs -0 md5sum) >"$dir/DEBIAN/md5sums"
  chmod 644 "$dir/DEBIAN/md5sums"
  find "$dir" -type d -exec chmod 755 {} +
  # Whatever the checkout's umask gave the files configured from it.
  find "$dir" -type f -perm /022 -exec chmod go-w {} +
  find "$dir" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  dpkg-deb --root-owner-group -Zxz --build "$dir" "$out/${pkg}_${version}_${arch}.deb" >/dev/null
  echo "$out/${pkg}_${version}_${arch}.deb"
}

# The toolkit's own dialogs speak Russian with Qt's translations.
stage_package ksv27-vorn "" "qt6-translations-l10n, rpcbind, avahi-daemon"
stage_package ksv27-vorn-demo "ksv27-vorn (= $version)" ""

if [ "$checks" = 0 ]; then exit 0; fi
echo "== lintian"
lintian --fail-on error --tag-display-limit 0 "$out/ksv27-vorn_${version}_${arch}.deb" \
  "$out/ksv27-vorn-demo_${version}_${arch}.deb"
