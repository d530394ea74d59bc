# Sourced by the 32-bit set-up and the Wine runner: where the emulator lives
# and how this machine runs 32-bit x86 code.
#
# Two runtimes give the same result, a 32-bit Wine that runs our programs:
#   native  the kernel and CPU run 32-bit code themselves (i386 Wine starts
#           as it is);
#   qemu    they cannot, and every 32-bit ELF (Wine's loader, its preloader
#           and the 32-bit processes Wine starts for CreateProcess) runs
#           under qemu-i386 through binfmt_misc.
# TARVISH_32BIT=native|qemu forces one; unset (or auto), the machine decides.

TARVISH_QEMU_HOME=${TARVISH_QEMU_HOME:-/opt/tarvish/qemu}
tarvish_qemu_bin="$TARVISH_QEMU_HOME/bin/qemu-i386"
tarvish_preload_dir="$TARVISH_QEMU_HOME/preload"
tarvish_preload_name=libtarvish-trapno.so
tarvish_binfmt_dir=/proc/sys/fs/binfmt_misc
tarvish_binfmt_name=tarvish-i386
# The verdict of the last probe, "<boot id> <native|qemu>": a reboot may
# change what the machine can do, nothing else does.
tarvish_verdict_file="$TARVISH_QEMU_HOME/runtime32"

# binfmt_misc record for i386 ELF executables and shared objects run as
# programs (e_type 2 or 3, e_machine 3). The F flag opens the interpreter
# now, so that it is found from any mount namespace or chroot later.
tarvish_binfmt_record() {
  printf '%s' ":$tarvish_binfmt_name:M::"'\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'":"'\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'":$tarvish_qemu_bin:F"
}

# True when our binfmt_misc entry is registered, enabled and points at our
# emulator, in this process's view of binfmt_misc.
tarvish_binfmt_active() {
  [ -r "$tarvish_binfmt_dir/$tarvish_binfmt_name" ] || return 1
  { read -r state && read -r interpreter; } <"$tarvish_binfmt_dir/$tarvish_binfmt_name" || return 1
  [ "$state" = enabled ] && [ "$interpreter" = "interpreter $tarvish_qemu_bin" ]
}

# Runs 32-bit Wine's own loader without any emulator in the way.
tarvish_native_probe() {
  timeout 20 /usr/lib/wine/wine --version >/dev/null 2>&1
}

tarvish_boot_id() {
  cat /proc/sys/kernel/random/boot_id 2>/dev/null || echo unknown
}

# Prints native or qemu. Cheap: a forced choice, our registered entry (made
# only where native failed), the cached verdict of this boot, or one probe.
# With "keep" (the set-up, once Wine is installed) the probe's verdict is
# cached for this boot.
tarvish_runtime32() {
  case "${TARVISH_32BIT:-auto}" in
    native | qemu) echo "$TARVISH_32BIT"; return 0 ;;
    auto | "") ;;
    *) echo "TARVISH_32BIT must be native, qemu or auto, not '$TARVISH_32BIT'" >&2; return 2 ;;
  esac
  if tarvish_binfmt_active; then
    echo qemu
    return 0
  fi
  boot=$(tarvish_boot_id)
  if [ -r "$tarvish_verdict_file" ]; then
    read -r cached_boot cached_verdict <"$tarvish_verdict_file" || true
    if [ "${cached_boot:-}" = "$boot" ] && [ -n "${cached_verdict:-}" ]; then
      echo "$cached_verdict"
      return 0
    fi
  fi
  if tarvish_native_probe; then verdict=native; else verdict=qemu; fi
  if [ "${1:-}" = keep ]; then
    mkdir -p "$TARVISH_QEMU_HOME"
    echo "$boot $verdict" >"$tarvish_verdict_file.$$" && mv -f "$tarvish_verdict_file.$$" "$tarvish_verdict_file"
  fi
  echo "$verdict"
}
