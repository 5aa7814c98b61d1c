#!/usr/bin/env bash
# Builds the Debian package dist/ravlin_<version>_<arch>.deb: a Release build
# without the tests (build-pkg), installed under /usr into a staging tree,
# with the dependencies that dpkg-shlibdeps finds for the programs. Prints
# the package's path.
set -euo pipefail
cd "$(dirname "$0")/.."

version=$(sed -n 's/^project(Ravlin VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
maintainer="Ravlin developers <ravlin@users.noreply.github.com>"
build=build-pkg
deb=dist/ravlin_${version}_${arch}.deb

# Debian's hardening flags, as its own packages are built.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRAVLIN_BUILD_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j "$(nproc)"

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
root=$stage/root
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$root"/usr/bin/*

doc=$root/usr/share/doc/ravlin
mkdir -p "$doc"
# The date of the sources, so that the same sources give the same package.
date=$(date -R -d "@$(git log -1 --format=%ct 2>/dev/null || date +%s)")
cat >"$doc/copyright" <<TEXT
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Ravlin
Source: https://ravlin.github.io/

Files: *
Copyright: $(date -d "$date" +%Y) The Ravlin developers
License: GPL-3.0-or-later

License: GPL-3.0-or-later
 This program is free software: you can redistribute it and/or modify it
 under the terms of the GNU General Public License as published by the Free
 Software Foundation, either version 3 of the License, or (at your option)
 any later version.
 .
 This program is distributed in the hope that it will be useful, but WITHOUT
 ANY WARRANTY; without even the implied warranty of MERCHANTABILITY or
 FITNESS FOR A PARTICULAR PURPOSE. See the GNU General Public License for
 more details.
 .
 On Debian systems, the complete text of the GNU General Public License
 version 3 can be found in "/usr/share/common-licenses/GPL-3".
TEXT
printf 'ravlin (%s) unstable; urgency=medium\n\n  * Built from the Ravlin sources.\n\n -- %s  %s\n' \
  "$version" "$maintainer" "$date" | gzip -9n >"$doc/changelog.gz"

# Texts of the program that lintian takes for misspellings.
mkdir -p "$root/usr/share/lintian/overrides"
cat >"$root/usr/share/lintian/overrides/ravlin" <<TEXT
ravlin: spelling-error-in-binary Directries Directories [usr/bin/ravlin]
ravlin: spelling-error-in-binary occured occurred [usr/bin/ravlin]
ravlin: spelling-error-in-binary occured occurred [usr/bin/ravlin-cli]
TEXT

# dpkg-shlibdeps wants to run beside a debian/control. Qt's SVG icon engine
# is a plug-in, loaded at run time, so no program names its library; nor
# does one name the toolkit's translations, read at run time too.
mkdir -p "$stage/debian" "$root/DEBIAN"
printf 'Source: ravlin\n\nPackage: ravlin\nArchitecture: any\n' >"$stage/debian/control"
depends=$(cd "$stage" && dpkg-shlibdeps -O root/usr/bin/ravlin root/usr/bin/ravlin-cli \
  root/usr/bin/trv408-sim | sed -n 's/^shlibs:Depends=//p')

cat >"$root/DEBIAN/control" <<TEXT
Package: ravlin
Version: $version
Architecture: $arch
Maintainer: $maintainer
Installed-Size: $(du -sk --exclude=DEBIAN "$root" | cut -f1)
Depends: $depends, libqt6svg6, qt6-translations-l10n
Recommends: fonts-ipafont-gothic | fonts-noto-cjk
Section: sound
Priority: optional
Homepage: https://ravlin.github.io/
Description: manage the user data of the TRV-408 keyboard over MIDI
 Ravlin lists the memory of the VARDO TRV-408 home keyboard over MIDI System
 Exclusive as a tree of drives, folders and slots, imports an item into a data
 file (.lqd) on the PC, sends a file into a slot, deletes songs and rhythms,
 shows and edits a file's data name and shows each drive's free space.
 .
 The package holds the window (ravlin), a command-line tool for scripts and
 backups (ravlin-cli) and a simulator of the keyboard on virtual MIDI ports
 (trv408-sim).
TEXT
(cd "$root" && find usr -type f | LC_ALL=C sort | xargs -d '\n' md5sum) >"$root/DEBIAN/md5sums"

mkdir -p dist
rm -f "$deb"
dpkg-deb --root-owner-group --build -Zxz "$root" "$deb" >/dev/null
echo "$deb"
