#!/bin/sh
# sandbox.sh COMMAND [ARG...]
#
# The init process of a throw-away machine for the end-to-end runs of
# opentype-updater: started as PID 1 of fresh PID, mount and network
# namespaces (unshare -m -p -f -n --mount-proc), it builds a root file system
# of its own on a tmpfs, pivots into it, runs COMMAND there and waits for it.
# The program's restart request (reboot(2)) only ends this namespace: the
# kernel kills this init, which then seems to have died of SIGHUP. No init
# system runs here to answer the host's systemctl or shutdown: both are
# masked, so the program finds neither and falls back to reboot(2) unless a
# scenario puts commands of its own into /opt/otu/bin, first on PATH.
#
# Inside the new root: read-only binds of /usr and /etc (and of /bin, /lib…
# where they are folders rather than links into /usr), a fresh /proc, a /dev
# with the harmless character devices and a devpts of its own, tmpfs /tmp,
# /run and /var/cache/fontconfig (the latter with fake caches), the program
# as /opt/otu/<name>, an empty folder /opt/otu/bin (root's, first on PATH),
# the harness read-only as /opt/otu/harness, the report
# folder read-write as /report, and the drives: ext4 images loop-mounted
# where the program finds them.
#
# Environment (all set by the harness):
#   OTU_OUTER_PIDNS, OTU_OUTER_MNTNS  the namespaces the harness runs in
#   OTU_SANDBOX_ROOT     an empty folder to mount the new root on
#   OTU_SANDBOX_PROGRAM  the program to copy in; OTU_SANDBOX_NAME its name
#   OTU_SANDBOX_HARNESS  folder of the harness; OTU_SANDBOX_REPORT report folder
#   OTU_SANDBOX_FONT     a font for fontconfig's own font folder
#   OTU_SANDBOX_DRIVES   "IMAGE MOUNTPOINT rw|ro" lines
#   OTU_SANDBOX_TMP_SIZE size of the /tmp tmpfs (mount's size= syntax)
#   OTU_SANDBOX_VALGRIND non-empty: the program runs under valgrind's memcheck
#   OTU_SANDBOX_HOME_FONTS a folder to bind read-write as root's own fonts
#                        folder, /root/.local/share/fonts (optional)
set -eu

die() {
  echo "sandbox: $*" >&2
  exit 97
}

# Only ever as the first process of a PID namespace of its own: anywhere else
# a restart request of the program would reach the real machine.
[ "$$" = 1 ] || die "not PID 1 of a new PID namespace (pid $$)"
[ -n "${OTU_OUTER_PIDNS:-}" ] && [ -n "${OTU_OUTER_MNTNS:-}" ] || die "outer namespaces not given"
[ "$(readlink /proc/self/ns/pid)" != "$OTU_OUTER_PIDNS" ] || die "still in the outer PID namespace"
[ "$(readlink /proc/self/ns/mnt)" != "$OTU_OUTER_MNTNS" ] || die "still in the outer mount namespace"

root=$OTU_SANDBOX_ROOT
[ -d "$root" ] || die "no folder $root"
mount --make-rprivate /
mount -t tmpfs -o size=96m,mode=755 otu-root "$root"
mkdir -p "$root/proc" "$root/dev" "$root/tmp" "$root/run" "$root/var/cache/fontconfig" "$root/media" \
         "$root/opt/otu/harness" "$root/opt/otu/fonts" "$root/opt/otu/bin" "$root/report" "$root/root" "$root/oldroot"

read_only_bind() {
  mkdir -p "$2"
  mount --bind "$1" "$2"
  mount -o remount,bind,ro "$2"
}
read_only_bind /usr "$root/usr"
read_only_bind /etc "$root/etc"
# The system's fonts folders, which the program walks, show none of the
# machine's own fonts.
for fonts in /usr/share/fonts /usr/local/share/fonts; do
  if [ -d "$root$fonts" ]; then
    mount -t tmpfs -o size=1m,mode=755 otu-fonts "$root$fonts"
  fi
done
if [ -n "${OTU_SANDBOX_HOME_FONTS:-}" ]; then
  mkdir -p "$root/root/.local/share/fonts"
  mount --bind "$OTU_SANDBOX_HOME_FONTS" "$root/root/.local/share/fonts"
fi
for top in /bin /sbin /lib /lib32 /lib64 /libx32; do
  if [ -L "$top" ]; then
    ln -s "$(readlink "$top")" "$root$top"
  elif [ -d "$top" ]; then
    read_only_bind "$top" "$root$top"
  fi
done
for folder in /usr/bin /usr/sbin /bin /sbin; do
  [ -L "$folder" ] && continue
  for tool in systemctl shutdown; do
    # A link to one of them (Debian's shutdown) is masked with its target.
    if [ -f "$root$folder/$tool" ] && [ ! -L "$root$folder/$tool" ]; then
      mount --bind /dev/null "$root$folder/$tool"
    fi
  done
done

# No block devices, no /dev/mem: only what programs and tmux need.
mount -t tmpfs -o size=1m,mode=755 otu-dev "$root/dev"
device() { mknod -m 666 "$root/dev/$1" c "$2" "$3"; }
device null 1 3
device zero 1 5
device full 1 7
device random 1 8
device urandom 1 9
device tty 5 0
mkdir "$root/dev/pts"
mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 otu-pts "$root/dev/pts"
ln -s pts/ptmx "$root/dev/ptmx"
ln -s /proc/self/fd "$root/dev/fd"

mount -t tmpfs -o "size=${OTU_SANDBOX_TMP_SIZE:-64m},mode=1777" otu-tmp "$root/tmp"
mount -t tmpfs -o size=4m,mode=755 otu-run "$root/run"
mount -t tmpfs -o size=4m,mode=755 otu-fontconfig "$root/var/cache/fontconfig"
# What fontconfig keeps there: the tag stays, the caches are the program's
# to delete after a full success.
printf 'Signature: 8a477f597d28d172789f06886806bc55\n' >"$root/var/cache/fontconfig/CACHEDIR.TAG"
for cache in 0d8a3ab3b0a2e4d0e8b1f5f6ad3ae9c1-le64.cache-9 7e1f2f7bd22d8e8c44a6a5a2e3c1b0d9-le64.cache-7; do
  printf 'fake fontconfig cache\n' >"$root/var/cache/fontconfig/$cache"
done
cat >"$root/opt/otu/fonts.conf" <<'EOF'
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <dir>/opt/otu/fonts</dir>
  <cachedir>/var/cache/fontconfig</cachedir>
</fontconfig>
EOF
cp "$OTU_SANDBOX_FONT" "$root/opt/otu/fonts/"

if [ -n "${OTU_SANDBOX_VALGRIND:-}" ]; then
  # The program under valgrind's memcheck: any error or leak ends it with
  # status 99, the report in the report folder.
  cp "$OTU_SANDBOX_PROGRAM" "$root/opt/otu/$OTU_SANDBOX_NAME.bin"
  chmod 755 "$root/opt/otu/$OTU_SANDBOX_NAME.bin"
  printf '#!/bin/sh\nexec valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect --log-file=/report/valgrind.%%p /opt/otu/%s.bin "$@"\n' \
    "$OTU_SANDBOX_NAME" >"$root/opt/otu/$OTU_SANDBOX_NAME"
else
  cp "$OTU_SANDBOX_PROGRAM" "$root/opt/otu/$OTU_SANDBOX_NAME"
fi
chmod 755 "$root/opt/otu" "$root/opt/otu/bin" "$root/opt/otu/$OTU_SANDBOX_NAME"
read_only_bind "$OTU_SANDBOX_HARNESS" "$root/opt/otu/harness"
mount --bind "$OTU_SANDBOX_REPORT" "$root/report"

# The drives, in the order given: the program lists them in mount order.
mounted=""
if [ -n "${OTU_SANDBOX_DRIVES:-}" ]; then
  while read -r image point mode; do
    [ -n "$image" ] || continue
    mkdir -p "$root$point"
    mount -t ext4 -o "loop,$mode" "$image" "$root$point"
    mounted="$point $mounted"
  done <<EOF
$OTU_SANDBOX_DRIVES
EOF
fi

cd "$root"
pivot_root . oldroot
cd /
# The mount tools read the table from /proc: the new one comes first.
mount -t proc -o nosuid,nodev,noexec otu-proc /proc
umount -l /oldroot
rmdir /oldroot

export PATH=/opt/otu/bin:/usr/bin:/usr/sbin HOME=/root LANG=C.UTF-8 FONTCONFIG_FILE=/opt/otu/fonts.conf
unset TMPDIR TMUX TMUX_TMPDIR LC_ALL LC_CTYPE || true

status=0
"$@" || status=$?
# Unmounted here the drives are clean at once, for the harness to read.
for point in $mounted; do
  umount "$point" || status=98
done
exit "$status"
