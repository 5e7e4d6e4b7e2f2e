#!/usr/bin/env bash
# Installs a built Debian package into a fresh Debian 12 root (debootstrap), starts Tavimo there
# under Xvfb, runs tavimo-scan over a small web archive, removes the package and checks that
# nothing of it is left. Needs root (chroot, mounts) and Debian's package archive.
#   scripts/package-test.sh build/tavimo_4.0_amd64.deb [work folder]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
deb="$(realpath "$1")"
work="$(realpath -m "${2:-$(dirname "$deb")/package-test}")"
mirror="${TAVIMO_DEBIAN_MIRROR:-http://deb.debian.org/debian}"
say() { echo "package-test: $*"; }
fail() { echo "package-test: FAILED: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || fail "run as root (chroot and mounts)"
command -v debootstrap >/dev/null || fail "debootstrap is not installed (apt-get install debootstrap)"

# 1. The package's file list: every file it holds is one we mean to ship, and what the program
#    needs at run time is there.
mkdir -p "$work"
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' | sort > "$work/files.txt"
unexpected="$(grep -v -E -f <(grep -v '^#' "$here/tests/package/allowed-files.txt" | sed '/^$/d') "$work/files.txt" || true)"
[ -z "$unexpected" ] || fail "files that do not belong in the package:
$unexpected"
while read -r need; do
  case "$need" in ''|'#'*) continue ;; esac
  grep -qx "$need" "$work/files.txt" || fail "the package lacks $need"
done < "$here/tests/package/required-files.txt"
say "file list: $(wc -l < "$work/files.txt") files, all expected, none missing"

# 2. A fresh root: a pristine minimal Debian 12 is made once and unpacked anew for every run.
base="$work/bookworm-minbase.tar"
if [ ! -f "$base" ]; then
  say "debootstrap of Debian 12 (once; kept as $base)"
  rm -rf --one-file-system "$work/base"
  debootstrap --variant=minbase bookworm "$work/base" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    fail "debootstrap failed, see $work/debootstrap.log"
  tar -C "$work/base" -cf "$base.part" . && mv "$base.part" "$base" && rm -rf --one-file-system "$work/base"
fi
root="$work/root"
# The root gets its own /proc and a /dev of its own (a tmpfs with the few device nodes the X
# server and apt use), never the host's: removing the root must not reach outside it.
cleanup() {
  for m in dev/shm dev/pts dev proc; do
    mountpoint -q "$root/$m" 2>/dev/null && umount -l "$root/$m"
  done
  return 0
}
remove_root() {
  cleanup
  if grep -q " $root/" /proc/mounts; then fail "$root still has mounts; not removing it"; fi
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT
remove_root
mkdir -p "$root"
tar -C "$root" -xf "$base"
mount -t proc proc "$root/proc"
mount -t tmpfs -o mode=755,size=16m tmpfs "$root/dev"
for node in null:1:3 zero:1:5 full:1:7 random:1:8 urandom:1:9 tty:5:0; do
  IFS=: read -r name major minor <<<"$node"
  mknod -m 666 "$root/dev/$name" c "$major" "$minor"
done
mkdir -p "$root/dev/pts" "$root/dev/shm"
mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts"
ln -s pts/ptmx "$root/dev/ptmx"
mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
ln -s /proc/self/fd "$root/dev/fd"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/tmp/tavimo.deb"
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
  HOME=/root LANG=C.UTF-8 "$@"; }

# What the test itself uses (the X server and a window finder) goes in before the snapshot.
in_root apt-get update -qq
in_root apt-get install -y -qq --no-install-recommends xvfb xauth xdotool >/dev/null
snapshot() {
  in_root find / -xdev \( -path /proc -o -path /dev -o -path /tmp -o -path /root -o -path /run \
    -o -path /var/cache -o -path /var/log -o -path /var/lib/apt -o -path /var/lib/dpkg \) -prune -o -print |
    sort
}
snapshot > "$work/before.txt"

# 3. Install: apt resolves every dependency the package names.
say "apt install ./tavimo.deb"
in_root apt-get install -y -qq --no-install-recommends /tmp/tavimo.deb >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "apt could not install the package"; }
for f in $(in_root dpkg -L tavimo | grep -E '^/usr/bin/|\.so$'); do
  missing="$(in_root ldd "$f" | grep 'not found' || true)"
  [ -z "$missing" ] || fail "$f needs libraries no dependency brought: $missing"
done

# 4. Run: the window appears under Xvfb, and tavimo-scan lists the movie of a small archive.
cat > "$root/tmp/run.sh" <<'RUN'
set -eu
export HOME=/tmp/user QTWEBENGINE_DISABLE_SANDBOX=1
mkdir -p "$HOME"
tavimo & pid=$!
for i in $(seq 1 60); do
  if xdotool search --onlyvisible --class TFrmTavimo >/dev/null 2>&1; then shown=1; break; fi
  kill -0 $pid 2>/dev/null || { echo "tavimo ended by itself"; exit 1; }
  sleep 0.5
done
kill $pid; wait $pid 2>/dev/null || true
[ "${shown:-0}" = 1 ] || { echo "no Tavimo window appeared"; exit 1; }
RUN
in_root xvfb-run -a sh /tmp/run.sh || fail "the installed program did not show its window"
page='<html><embed src="movies/intro.swf"></html>'
http="HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: ${#page}\r\n\r\n$page"
body="$(printf "$http")"
printf "WARC/1.0\r\nWARC-Type: response\r\nWARC-Target-URI: http://example.org/index.html\r\nWARC-Record-ID: <urn:uuid:1>\r\nWARC-Date: 2026-01-01T00:00:00Z\r\nContent-Type: application/http; msgtype=response\r\nContent-Length: %d\r\n\r\n%s\r\n\r\n" \
  "${#body}" "$body" > "$root/tmp/site.warc"
listed="$(in_root tavimo-scan --warc /tmp/site.warc)" || fail "tavimo-scan failed: $listed"
[ "$listed" = "$(printf 'http://example.org/movies/intro.swf\tintro.swf')" ] ||
  fail "tavimo-scan listed: $listed"
in_root test -r /usr/share/doc/tavimo/help.html || fail "the help page is not installed"
say "installed program: window shown, tavimo-scan lists the archive's movie, help page there"

# 5. Remove: apt remove, then the dependencies it pulled in; nothing may be left over.
in_root apt-get remove -y -qq tavimo >/dev/null
in_root apt-get autoremove -y -qq --purge >/dev/null
state="$(in_root dpkg-query -W -f='${Status}' tavimo 2>/dev/null || true)"
case "$state" in ''|*not-installed*) ;; *) fail "dpkg still knows tavimo: $state" ;; esac
snapshot > "$work/after.txt"
left="$(comm -13 "$work/before.txt" "$work/after.txt" || true)"
[ -z "$left" ] || fail "left behind after removal:
$left"
say "removed: nothing left behind"
remove_root
