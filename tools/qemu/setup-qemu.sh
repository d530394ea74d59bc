#!/bin/sh
# setup-qemu.sh: the 32-bit part of tools/setup.sh, run after the packages
# are installed, as root. Idempotent and quiet.
#
# Where 32-bit code runs natively it only records that. Elsewhere (or with
# TARVISH_32BIT=qemu) it makes 32-bit Wine run under qemu-i386:
#   - qemu-i386 10.x, taken from bookworm-backports' qemu-user package into
#     $TARVISH_QEMU_HOME/bin through a private apt state (the system's apt
#     sources and package set stay as they are; bookworm's own qemu 7.2
#     leaves Wine unable to map its shared user data or read its own
#     process memory for minidumps);
#   - the trap-number preload library (trapno_preload.c) and its empty
#     64-bit twin, under $TARVISH_QEMU_HOME/preload/$LIB;
#   - the binfmt_misc entry for i386 ELF with the F flag, so that the
#     32-bit processes Wine starts run under qemu too. It is made only where
#     it is needed: system-wide where 32-bit code cannot run natively, or in
#     a private user namespace's own binfmt_misc. On a machine that runs
#     32-bit code natively a system-wide entry would take every 32-bit
#     program of every user there, so with TARVISH_32BIT=qemu the runner
#     gives each command a private instance instead (binfmt-private).
# A ready machine costs a few stats and one hash (well under two seconds).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"

mode=${TARVISH_32BIT:-auto}
case "$mode" in
  auto | native | qemu) ;;
  *) echo "setup: TARVISH_32BIT must be native, qemu or auto, not '$mode'" >&2; exit 2 ;;
esac

# A process whose user namespace is not the initial one has a binfmt_misc
# of its own to register in without touching anybody else.
in_private_userns() {
  read -r inside outside count </proc/self/uid_map || return 1
  [ "$inside $outside $count" != "0 0 4294967295" ]
}

ready_file="$TARVISH_QEMU_HOME/ready"
ready_key="$(tarvish_boot_id) $mode $(cat "$here/setup-qemu.sh" "$here/common.sh" "$here/trapno_preload.c" | sha256sum | cut -c1-16)"

verdict=$(TARVISH_32BIT=auto tarvish_runtime32 keep)
need_qemu=no
register=no
if [ "$verdict" = qemu ]; then
  need_qemu=yes
  register=yes
elif [ "$mode" = qemu ]; then
  need_qemu=yes
  in_private_userns && register=yes
fi

if [ -r "$ready_file" ] && [ "$(cat "$ready_file")" = "$ready_key" ]; then
  if [ "$register" = no ] || tarvish_binfmt_active; then
    exit 0
  fi
fi

if [ "$need_qemu" = no ]; then
  echo "$ready_key" >"$ready_file"
  exit 0
fi

# qemu-i386 10.x from bookworm-backports, through apt with state of its own.
install_qemu() {
  apt_dir="$TARVISH_QEMU_HOME/apt"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/deb" "$TARVISH_QEMU_HOME/bin"
  # The mirror the system already uses for bookworm.
  mirror=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' |
           awk '$2 == "bookworm" && $3 == "main" { print $1; exit }')
  if [ -z "$mirror" ]; then
    echo "setup: no bookworm main source in apt's configuration to take backports from" >&2
    exit 1
  fi
  echo "deb [arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror bookworm-backports main" \
    >"$apt_dir/sources.list"
  set -- -o Dir::Etc::sourcelist="$apt_dir/sources.list" -o Dir::Etc::sourceparts=- \
         -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache" \
         -o APT::Architectures::=amd64 -o APT::Sandbox::User=root -o Debug::NoLocking=1
  echo "setup: fetching qemu-i386 (qemu-user from bookworm-backports)"
  apt-get "$@" -qq update
  rm -f "$apt_dir/deb/"*.deb
  (cd "$apt_dir/deb" && apt-get "$@" -qq download qemu-user/bookworm-backports)
  dpkg-deb --fsys-tarfile "$apt_dir/deb/"qemu-user_*.deb | tar -xO ./usr/bin/qemu-i386 >"$tarvish_qemu_bin.new"
  chmod 755 "$tarvish_qemu_bin.new"
  mv -f "$tarvish_qemu_bin.new" "$tarvish_qemu_bin"
  rm -f "$apt_dir/deb/"*.deb
}

qemu_major() {
  "$tarvish_qemu_bin" --version 2>/dev/null | sed -n '1s/^qemu-i386 version \([0-9]*\)\..*/\1/p'
}

major=$(qemu_major || true)
if [ "${major:-0}" -lt 10 ]; then
  install_qemu
  major=$(qemu_major || true)
  if [ "${major:-0}" -lt 10 ]; then
    echo "setup: $tarvish_qemu_bin is not qemu 10 or later" >&2
    exit 1
  fi
fi

# The preload library: built here with the host compiler, no multilib.
build_preload() {
  bits=$1 triplet=$2 extra=$3
  out="$tarvish_preload_dir/lib/$triplet/$tarvish_preload_name"
  mkdir -p "$(dirname "$out")"
  # shellcheck disable=SC2086
  gcc -m"$bits" -O2 -Wall -Wextra -Werror -nostdlib -ffreestanding -fno-stack-protector \
      -shared -fPIC $extra "$here/trapno_preload.c" -o "$out.new"
  mv -f "$out.new" "$out"
}
build_preload 32 i386-linux-gnu ""
build_preload 64 x86_64-linux-gnu -DTARVISH_TRAPNO_NOOP

if [ "$register" = yes ] && ! tarvish_binfmt_active; then
  if [ ! -e "$tarvish_binfmt_dir/register" ]; then
    mount -t binfmt_misc binfmt_misc "$tarvish_binfmt_dir"
  fi
  # A stale entry of ours (disabled, or another emulator path) goes first.
  if [ -e "$tarvish_binfmt_dir/$tarvish_binfmt_name" ]; then
    echo -1 >"$tarvish_binfmt_dir/$tarvish_binfmt_name" 2>/dev/null || true
  fi
  # A set-up running beside this one may have registered it meanwhile.
  tarvish_binfmt_record >"$tarvish_binfmt_dir/register" 2>/dev/null || true
  if ! tarvish_binfmt_active; then
    echo "setup: the binfmt_misc entry for i386 ELF did not take" >&2
    exit 1
  fi
fi

echo "$ready_key" >"$ready_file"
