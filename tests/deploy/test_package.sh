#!/usr/bin/env bash
# The Debian package as dpkg would install it: built with cpack from the
# build folder, unpacked into a scratch root (dpkg-deb -x, nothing on the
# machine changes), and checked: its dependencies, files, conffiles and
# maintainer scripts, the installed agent's libraries found through its
# RUNPATH and its installed defaults, and the units through
# systemd-analyze verify.
#   test_package.sh BUILD_DIR
set -uo pipefail
BUILD=${1:?build folder}
TMP=$(mktemp -d /tmp/tidewell-package.XXXXXX)
trap 'rm -rf "$TMP"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
for tool in cpack dpkg-deb systemd-analyze ldd; do command -v "$tool" >/dev/null || fail "$tool missing"; done

cpack -G DEB -B "$TMP/out" --config "$BUILD/CPackConfig.cmake" >"$TMP/cpack.log" 2>&1 || { cat "$TMP/cpack.log"; fail "cpack"; }
DEB=$(ls "$TMP"/out/velmora-agent_*.deb 2>/dev/null | head -n 1)
[ -f "$DEB" ] || fail "no package in $TMP/out"

depends=$(dpkg-deb -f "$DEB" Depends)
for package in adduser libpcap0.8 libgtk-3-0 libc6 procps; do
  [[ ", $depends," == *", $package "* || ", $depends," == *", $package,"* ]] || fail "Depends lacks $package: $depends"
done

ROOT=$TMP/root
dpkg-deb -x "$DEB" "$ROOT" || fail "dpkg-deb -x"
[ -x "$ROOT/usr/sbin/velmora-agent" ] || fail "no /usr/sbin/velmora-agent"
for file in usr/lib/velmora/libtidewell.so usr/lib/velmora/libvelmora_host.so etc/velmora/agent.json \
            etc/logrotate.d/velmora-agent \
            usr/share/man/man8/velmora-agent.8 usr/lib/systemd/system/velmora-agent.service \
            usr/lib/systemd/system/velmora-agent@.service; do
  [ -f "$ROOT/$file" ] || fail "no /$file"
done
[ -d "$ROOT/var/lib/velmora" ] || fail "no /var/lib/velmora"

dpkg-deb -e "$DEB" "$TMP/control" || fail "dpkg-deb -e"
[ "$(cat "$TMP/control/conffiles")" = "$(printf '/etc/velmora/agent.json\n/etc/logrotate.d/velmora-agent')" ] || fail "conffiles: $(cat "$TMP/control/conffiles")"
for script in postinst prerm postrm; do
  [ -x "$TMP/control/$script" ] || fail "no executable $script"
  sh -n "$TMP/control/$script" || fail "$script is no valid shell script"
done
grep -q "adduser --system" "$TMP/control/postinst" || fail "postinst makes no system user"
grep -q "deb-systemd-invoke stop velmora-agent.service" "$TMP/control/prerm" || fail "prerm does not stop the unit"

# The libraries come from the package's own folder, by RUNPATH alone.
AGENT=$ROOT/usr/sbin/velmora-agent
env -u LD_LIBRARY_PATH ldd "$AGENT" | grep -qF "libvelmora_host.so => $ROOT/usr/sbin/../lib/velmora/" ||
  fail "libvelmora_host.so not found in /usr/lib/velmora: $(ldd "$AGENT")"
env -u LD_LIBRARY_PATH "$AGENT" --version | grep -q "^libpcap version" || fail "--version of the installed agent"
help=$(env -u LD_LIBRARY_PATH "$AGENT" --help)
grep -q "(default: /etc/velmora/agent.json)" <<<"$help" || fail "installed config default: $help"
grep -q "(default: /var/lib/velmora)" <<<"$help" || fail "installed home default: $help"
# The shipped config is the embedded default of the build tree.
env -u LD_LIBRARY_PATH "$AGENT" --check-config --config "$ROOT/etc/velmora/agent.json" >"$TMP/shipped.json" ||
  fail "--check-config of the shipped config"
"$BUILD/bin/velmora-agent" --check-config >"$TMP/embedded.json" || fail "--check-config of the embedded default"
diff "$TMP/embedded.json" "$TMP/shipped.json" || fail "the shipped config differs from the embedded default"

# systemd-analyze verify wants the commands to exist: the units are checked
# with the agent's path pointing into the scratch root. Warnings count.
mkdir "$TMP/units"
for unit in "$ROOT"/usr/lib/systemd/system/*.service; do
  sed "s|/usr/sbin/velmora-agent|$AGENT|g" "$unit" >"$TMP/units/$(basename "$unit")"
done
for unit in velmora-agent.service velmora-agent@lo.service; do
  out=$(systemd-analyze verify --man=no "$TMP/units/$unit" 2>&1) || fail "systemd-analyze verify $unit: $out"
  [ -z "$out" ] || fail "systemd-analyze verify $unit: $out"
done
for key in "User=velmora" "AmbientCapabilities=CAP_NET_RAW CAP_NET_ADMIN" "CapabilityBoundingSet=CAP_NET_RAW CAP_NET_ADMIN" \
           "StateDirectory=velmora" "ProtectSystem=strict" "ProtectHome=yes" "PrivateTmp=yes" "NoNewPrivileges=yes" \
           "Restart=on-failure" "ExecReload=/bin/kill -HUP \$MAINPID"; do
  for unit in "$ROOT"/usr/lib/systemd/system/*.service; do
    grep -qF -- "$key" "$unit" || fail "$(basename "$unit") lacks $key"
  done
done
grep -qF -- "--iface %i" "$ROOT/usr/lib/systemd/system/velmora-agent@.service" || fail "the template ignores its instance"
echo "PASS: $(basename "$DEB"): files, conffiles, scripts, RUNPATH, installed defaults and units verified"
