#!/usr/bin/env bash
# Checks of the Debian package and of the files it installs, one CTest test each:
#   package_checks.sh CHECK
# "build" makes the package once (the fixture of the checks that read it); the others look
# at it as a technician's machine would see it. A check whose tool is missing ends with 77,
# which CTest reports as skipped, after saying why.
#
# From CTest's environment: QL_BUILD_DIR (the build folder), QL_PACKAGE_DIR (where the
# package is made), QL_VERSION (the project's version), QL_METAINFO, QL_DESKTOP,
# QL_UDEV_RULES (the files as installed), QL_EMBEDDED_VERSION (the built-in image's
# version text).
set -uo pipefail

readonly kSkip=77
# How long a started program may take to say it is ready, or to end when told to. Only a
# limit for a hung run, never a measured time.
readonly kLoaderStartLimitS=60

check="${1:?which check}"
failures=0

skip() { echo "SKIPPED: $*"; exit "$kSkip"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
need_tool() { command -v "$1" >/dev/null 2>&1 || skip "$1 is not installed (scripts/install-deps.sh installs ${2:-$1})"; }
finish() { [ "$failures" -eq 0 ] && echo "PASS" && exit 0; echo "$failures failure(s)"; exit 1; }

package_file() { ls "$QL_PACKAGE_DIR"/qlfwloader_"$QL_VERSION"_*.deb 2>/dev/null | head -n 1; }

# The package the "build" check made; skipped, like that check, when the tools to make it
# are missing.
need_package() {
  need_tool dpkg-deb dpkg
  need_tool dpkg-shlibdeps dpkg-dev
  deb="$(package_file)"
  [ -n "$deb" ] || { echo "FAIL: no package in $QL_PACKAGE_DIR (did package_build fail?)"; exit 1; }
}

# A private copy of the package's files, as dpkg would lay them out.
unpack() {
  work="$(mktemp -d)"
  trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
  chmod 755 "$work"
  root="$work/root"
  dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x"; exit 1; }
}

# Sends SIGTERM and waits for the process; one that outlives the limit is killed, so a hung
# program fails the check instead of holding up the suite. The process's exit status.
stop_and_wait() {
  kill -TERM "$1" 2>/dev/null
  for _ in $(seq $((kLoaderStartLimitS * 10))); do
    kill -0 "$1" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$1" 2>/dev/null
  wait "$1"
}

# Runs a program of the unpacked package with no display, no platform choice and no
# library path, so nothing from the build folder or the session can help it.
bare=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u QLSIM_SOCKET -u QLFW_DEVICE_EVENTS
  LD_LIBRARY_PATH= LANG=C.UTF-8 LC_ALL=C.UTF-8)
run_bare() { "${bare[@]}" "$@"; }

case "$check" in

build)
  need_tool cpack cmake
  need_tool dpkg-deb dpkg
  need_tool dpkg-shlibdeps dpkg-dev
  rm -f "$QL_PACKAGE_DIR"/qlfwloader_*.deb
  cpack -G DEB --config "$QL_BUILD_DIR/CPackConfig.cmake" -B "$QL_PACKAGE_DIR" || exit 1
  deb="$(package_file)"
  [ -n "$deb" ] || fail "cpack made no qlfwloader_${QL_VERSION}_<arch>.deb"
  [ "$(dpkg-deb -f "$deb" Version)" = "$QL_VERSION" ] || fail "package version is not $QL_VERSION"
  arch="$(dpkg --print-architecture)"
  [ "$(basename "$deb")" = "qlfwloader_${QL_VERSION}_${arch}.deb" ] || fail "file name $(basename "$deb")"
  for field in Maintainer Description Section Depends; do
    [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "control field $field is empty"
  done
  # Computed from the binaries, so the Qt libraries are there without being listed by hand.
  dpkg-deb -f "$deb" Depends | grep -q 'libqt6serialport6' || fail "Depends lacks the libraries the programs link"
  finish
  ;;

lintian)
  need_package
  need_tool lintian
  # Errors fail; warnings and notes are shown for whoever reads the log.
  lintian --fail-on error --display-info "$deb" 2>&1 | grep -v 'running with root privileges'
  [ "${PIPESTATUS[0]}" -eq 0 ] || fail "lintian reports errors"
  finish
  ;;

contents)
  need_package
  listing="$(dpkg-deb -c "$deb")" || exit 1
  paths="$(awk '{ print $NF }' <<<"$listing" | sed 's|^\./|/|')"
  for expected in \
      /usr/bin/qlfwloader /usr/bin/qlimage /usr/bin/qltracker-sim \
      /usr/lib/qlfwloader/stand-in/libftd2xx.so /usr/lib/qlfwloader/stand-in/libqlusb.so \
      /usr/share/applications/qlfwloader.desktop \
      /usr/share/icons/hicolor/scalable/apps/qlfwloader.svg \
      "/usr/share/metainfo/$(basename "$QL_METAINFO")" \
      /usr/share/man/man1/qlfwloader.1.gz /usr/share/man/man1/qlimage.1.gz \
      /usr/share/man/man1/qltracker-sim.1.gz \
      /usr/lib/udev/rules.d/60-qlfwloader.rules \
      /usr/share/doc/qlfwloader/copyright /usr/share/doc/qlfwloader/changelog.gz; do
    grep -qx -- "$expected" <<<"$paths" || fail "missing $expected"
  done
  # A stand-in where the dynamic loader looks would be taken for a real driver.
  while read -r library; do
    case "$library" in
      /usr/lib/qlfwloader/stand-in/*) ;;
      *) fail "shared library outside the private folder: $library" ;;
    esac
  done < <(grep -E '\.so(\.[0-9]+)*$' <<<"$paths")
  grep -qE '^/(usr/)?lib/[^/]*\.so|^/(usr/)?lib/[^/]*-linux-gnu[^/]*/|^/etc/ld\.so' <<<"$paths" \
    && fail "something on the library search path"
  # Installed as root's, with the usual modes.
  awk '$2 != "root/root" { print "FAIL: owner " $2 " of " $NF; bad = 1 } END { exit bad }' <<<"$listing" \
    || failures=$((failures + 1))
  awk '$NF ~ /^\.\/usr\/bin\/./ && $1 != "-rwxr-xr-x" { print "FAIL: mode " $1 " of " $NF; bad = 1 }
       $1 ~ /^-/ && $NF !~ /^\.\/usr\/bin\// && $1 != "-rw-r--r--" { print "FAIL: mode " $1 " of " $NF; bad = 1 }
       $1 ~ /^d/ && $1 != "drwxr-xr-x" { print "FAIL: mode " $1 " of " $NF; bad = 1 }
       END { exit bad }' <<<"$listing" || failures=$((failures + 1))
  finish
  ;;

runs)
  need_package
  unpack
  bin="$root/usr/bin"
  out="$(run_bare "$bin/qlimage" inspect --embedded)" || fail "qlimage inspect --embedded exited $?"
  grep -q "$QL_EMBEDDED_VERSION" <<<"$out" || fail "qlimage does not show the built-in image $QL_EMBEDDED_VERSION: $out"
  out="$(run_bare "$bin/qlfwloader" version)" || fail "qlfwloader version exited $?"
  [ "$out" = "qlfwloader $QL_VERSION" ] || fail "qlfwloader version said: $out"
  out="$(run_bare "$bin/qlfwloader" --help)" || fail "qlfwloader --help exited $?"
  grep -q '^Usage: qlfwloader' <<<"$out" || fail "qlfwloader --help said: $out"
  for tool in qlimage qltracker-sim; do
    out="$(run_bare "$bin/$tool" --help)" || fail "$tool --help exited $?"
    grep -qi "usage" <<<"$out" || fail "$tool --help said: $out"
  done
  # Installed, the simulator points a loader at the private stand-in folder.
  sim_out="$work/sim-output"
  # Started directly, so the signal below reaches the simulator itself.
  "${bare[@]}" "$bin/qltracker-sim" >"$sim_out" 2>&1 &
  sim=$!
  for _ in $(seq $((kLoaderStartLimitS * 10))); do
    grep -q '^Ready' "$sim_out" && break
    kill -0 "$sim" 2>/dev/null || break
    sleep 0.1
  done
  grep -qx "  export LD_LIBRARY_PATH=$root/usr/lib/qlfwloader/stand-in" "$sim_out" \
    || fail "qltracker-sim names another stand-in folder: $(cat "$sim_out")"
  stop_and_wait "$sim" || fail "qltracker-sim did not end cleanly on SIGTERM"
  # Help and version leave the program's folder as it was.
  [ "$(ls "$bin" | tr '\n' ' ')" = "qlfwloader qlimage qltracker-sim " ] || fail "usr/bin now holds: $(ls "$bin")"
  # The build's run paths stay behind: the installed programs find only system libraries.
  for elf in "$bin"/* "$root"/usr/lib/qlfwloader/stand-in/*; do
    readelf -d "$elf" | grep -qE 'RPATH|RUNPATH' && fail "run path in $elf"
  done
  finish
  ;;

installed-files)
  # Run from a folder it may not write, the loader keeps its settings and logs in the
  # per-user data folder. Root writes anywhere whatever the mode bits say, so as root the
  # loader runs as the unprivileged user "nobody".
  need_package
  unpack
  bin="$root/usr/bin"
  home="$work/home"
  data="$home/data/qlfwloader"
  mkdir -p "$home/run" "$data"
  # Settings waiting in the data folder, with the daily log file on: the loader must read
  # them there and write its log beside them.
  printf '[COMMON]\nLanguage=English\nMainForm=0,0,800,520,0,209,1,0,0,0,0,0\n' >"$data/QLFWLoader.ini"
  chmod 555 "$bin"
  as_user=()
  if [ "$(id -u)" -eq 0 ]; then
    need_tool setpriv util-linux
    id nobody >/dev/null 2>&1 || skip "no user nobody to run the loader as"
    chown -R nobody:"$(id -gn nobody)" "$home"
    as_user=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups --)
  fi
  chmod 700 "$home/run"
  output="$work/output"
  env -i PATH=/usr/bin:/bin HOME="$home" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/run" \
    LANG=ru_RU.UTF-8 "${as_user[@]}" "$bin/qlfwloader" console -platform offscreen >"$output" 2>"$work/errors" &
  loader=$!
  # Neither driver library is reachable: the loader says that FTDI bridges are reached
  # through the system's driver and that the maker's library is missing, and runs on.
  for _ in $(seq $((kLoaderStartLimitS * 10))); do
    grep -q 'device driver is not installed' "$output" && break
    kill -0 "$loader" 2>/dev/null || break
    sleep 0.1
  done
  grep -q 'device driver is not installed' "$output" || fail "no start-up lines: $(cat "$output" "$work/errors")"
  grep -q "reached through the system's driver" "$output" || fail "no line about the system's driver"
  # The image it loaded is the one inside the binary.
  grep -q "Firmware version \"$QL_EMBEDDED_VERSION\"" "$output" || fail "built-in image not loaded"
  # Stopped like a close by hand: the settings are saved on the way out.
  stop_and_wait "$loader"
  status=$?
  [ "$status" -eq 255 ] || fail "exit status $status after SIGTERM: $(cat "$work/errors")"
  grep -q '^LastFile=' "$data/QLFWLoader.ini" || fail "settings not saved in the per-user data folder"
  ls "$data"/Logs/*.log >/dev/null 2>&1 || fail "no daily log in the per-user data folder"
  [ "$(ls "$bin" | tr '\n' ' ')" = "qlfwloader qlimage qltracker-sim " ] || fail "usr/bin now holds: $(ls "$bin")"
  finish
  ;;

desktop)
  need_tool desktop-file-validate desktop-file-utils
  desktop-file-validate "$QL_DESKTOP" || fail "desktop-file-validate"
  finish
  ;;

appstream)
  need_tool appstreamcli appstream
  appstreamcli validate --no-net "$QL_METAINFO" || fail "appstreamcli validate --no-net"
  # The newest release named there is the one being packaged.
  grep -q "<release version=\"$QL_VERSION\"" "$QL_METAINFO" || fail "no release $QL_VERSION in the metadata"
  finish
  ;;

udev)
  need_tool udevadm udev
  udevadm verify --help >/dev/null 2>&1 || skip "this udevadm has no verify command"
  udevadm verify "$QL_UDEV_RULES" || fail "udevadm verify"
  finish
  ;;

*)
  echo "unknown check $check"
  exit 2
  ;;
esac
