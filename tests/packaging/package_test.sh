#!/bin/sh
# Builds the Debian package from a build folder's programs with cpack and checks it: the files a
# desktop install needs, dependencies found from the programs' libraries, the udev reload after
# installation, the packaged programs' --version, and no lintian errors.
# Usage: package_test.sh BUILD_DIR VERSION GUI(0|1) [INDI(0|1)]. Exits 77 (skipped) without the
# Debian tools.
set -u
build=$1
version=$2
gui=$3
indi=${4:-0}
for tool in cpack dpkg-deb dpkg-shlibdeps file lintian; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "skipped: $tool is not installed"
    exit 77
  fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
problem() {
  echo "FAILED: $*"
  fail=1
}

# The programs and documents the package holds, as the sources stand (nothing to do after a full build).
targets="qlm_t4_cli qlm_docs"
[ "$gui" = 1 ] && targets="$targets qlm_t4"
[ "$indi" = 1 ] && targets="$targets indi_qlm_t4_ccd"
if ! cmake --build "$build" --target $targets >"$work/build.log" 2>&1; then
  cat "$work/build.log"
  exit 1
fi
if ! cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  exit 1
fi
deb=$(ls "$work"/qlm-t4_"$version"_*.deb 2>/dev/null)
[ -f "$deb" ] || { cat "$work/cpack.log"; echo "FAILED: no qlm-t4_${version}_*.deb"; exit 1; }

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/files"
expected="/usr/bin/qlm_t4_cli /usr/lib/udev/rules.d/60-qlm-t4.rules /usr/share/man/man1/qlm_t4_cli.1.gz
  /usr/share/doc/qlm-t4/README.md /usr/share/doc/qlm-t4/copyright /usr/share/doc/qlm-t4/changelog.gz"
libraries="libc6 libstdc++6 libusb-1.0-0 libpng16-16"
if [ "$gui" = 1 ]; then
  expected="$expected /usr/bin/qlm_t4 /usr/share/man/man1/qlm_t4.1.gz /usr/share/applications/qlm-t4.desktop
    /usr/share/icons/hicolor/scalable/apps/qlm-t4.svg /usr/share/metainfo/qlm-t4.metainfo.xml"
  libraries="$libraries libqt6widgets6 libqt6svg6"
fi
if [ "$indi" = 1 ]; then
  expected="$expected /usr/bin/indi_qlm_t4_ccd /usr/share/man/man1/indi_qlm_t4_ccd.1.gz
    /usr/share/indi/indi_qlm_t4.xml"
  libraries="$libraries libindidriver1"
fi
for f in $expected; do
  grep -qx "$f" "$work/files" || problem "the package lacks $f"
done

depends=", $(dpkg-deb -f "$deb" Depends),"
for lib in $libraries; do
  case "$depends" in
    *", $lib "* | *", $lib,"*) ;;
    *) problem "Depends lacks $lib:$depends" ;;
  esac
done

dpkg-deb -e "$deb" "$work/control"
grep -q 'udevadm control --reload-rules' "$work/control/postinst" || problem "postinst does not reload udev rules"

dpkg-deb -x "$deb" "$work/root"
programs=qlm_t4_cli
[ "$gui" = 1 ] && programs="$programs qlm_t4"
for p in $programs; do
  said=$(env -u DISPLAY -u WAYLAND_DISPLAY "$work/root/usr/bin/$p" --version 2>&1)
  [ "$said" = "$p $version" ] || problem "$p --version printed '$said', not '$p $version'"
done
if [ "$gui" = 1 ]; then
  # The desktop entry starts a program and shows an icon that the package holds.
  entry="$work/root/usr/share/applications/qlm-t4.desktop"
  exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry" | head -n 1)
  icon=$(sed -n 's/^Icon=//p' "$entry")
  [ -x "$work/root/usr/bin/$exec_name" ] || problem "the desktop entry starts '$exec_name', which is not packaged"
  [ -f "$work/root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || problem "the icon '$icon' is not packaged"
fi

if [ "$indi" = 1 ]; then
  # KStars lists the driver from its XML: group CCDs, the packaged program, the package's version.
  xml="$work/root/usr/share/indi/indi_qlm_t4.xml"
  grep -q '<devGroup group="CCDs">' "$xml" || problem "the driver XML is not in group CCDs"
  grep -q '>indi_qlm_t4_ccd</driver>' "$xml" || problem "the driver XML does not name indi_qlm_t4_ccd"
  grep -q "<version>$version</version>" "$xml" || problem "the driver XML does not carry version $version"
fi

lintian --tag-display-limit 0 "$deb" >"$work/lintian" 2>&1
echo "lintian:"
cat "$work/lintian"
grep -q '^E:' "$work/lintian" && problem "lintian reports errors"
exit $fail
