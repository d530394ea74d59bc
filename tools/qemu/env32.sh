# Sourced by the Wine runner and the prefix maker for 32-bit programs, with
# $here set to tools/wine. Chooses how 32-bit Wine runs on this machine (see
# common.sh), exports what it needs, and defines
#   tarvish_run32 COMMAND [ARG ...]    runs COMMAND there;
#   tarvish_exec32 COMMAND [ARG ...]   the same, in place of the shell.
# Exits the sourcing script with status 2 when the machine is not set up.

. "$here/../qemu/common.sh"

tarvish_runtime=$(tarvish_runtime32) || exit 2
tarvish_private_binfmt=no

if [ "$tarvish_runtime" = qemu ]; then
  if [ ! -x "$tarvish_qemu_bin" ] || [ ! -f "$tarvish_preload_dir/lib/i386-linux-gnu/$tarvish_preload_name" ]; then
    echo "32-bit Wine needs qemu-i386 here, and it is not set up: run" \
         "${TARVISH_32BIT:+TARVISH_32BIT=$TARVISH_32BIT }tools/setup.sh as root" >&2
    exit 2
  fi
  # $LIB is expanded by ld.so itself: the i386 library in 32-bit processes
  # (which run under qemu), its empty twin in the 64-bit ones.
  export LD_PRELOAD="$tarvish_preload_dir/\$LIB/$tarvish_preload_name${LD_PRELOAD:+ $LD_PRELOAD}"
  # Where the machine's binfmt_misc does not send i386 ELF to our qemu (a
  # machine that runs 32-bit code itself, with qemu forced), each command
  # gets a binfmt_misc instance of its own instead.
  tarvish_binfmt_active || tarvish_private_binfmt=yes
fi

tarvish_run32() {
  if [ "$tarvish_private_binfmt" = yes ]; then
    unshare --user --map-root-user --mount "$here/../qemu/binfmt-private" "$@"
  else
    "$@"
  fi
}

tarvish_exec32() {
  if [ "$tarvish_private_binfmt" = yes ]; then
    exec unshare --user --map-root-user --mount "$here/../qemu/binfmt-private" "$@"
  fi
  exec "$@"
}
