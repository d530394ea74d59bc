# The crash handler: the crasher program loads Tarvish.dll (which installs
# the crash filter) and jumps to the bad address 0xBAD0. With ForceQvd on,
# the crash leaves a snapshot first and then a minidump in the prefix's temp
# directory; qvd decodes the snapshot.
section "crash handler: an access violation with ForceQvd = 1"
crash_temp="$DEMO_DRIVE_C/users/root/Temp"
crash_key='HKLM\Software\Quillvex Software\QuillvexDiagnostics\CrashHandler'
rm -f "$crash_temp"/Quillvex\ *.dmp "$crash_temp"/Quillvex\ *.qvd
# The settings live in the registry view of the DLL's own bitness.
wine reg.exe add "$crash_key" /v ForceQvd /t REG_DWORD /d 1 /f "/reg:$DEMO_ARCH" >/dev/null
echo "> crash_crasher main"
# Bounded: a crash handler that hangs must not hang the session.
timeout 120 "$DEMO_TOOLS/wine/winerun" "$DEMO_ARCH" "$DEMO_PREFIX" "$DEMO_BIN/crash_crasher.exe" \
  main 'C:\users\root\Temp\crash-time.txt' >/dev/null 2>&1 || true
echo "  crash files in C:\\users\\root\\Temp, oldest first:"
# shellcheck disable=SC2012
{ ls -tr "$crash_temp" | grep '^Quillvex ' || true; } | while read -r f; do
  printf '    %-42s %8d bytes\n' "$f" "$(stat -c %s "$crash_temp/$f")"
done
crash_qvd=$(ls -tr "$crash_temp" | grep '^Quillvex .*\.qvd$' | head -n 1 || true)
if [ -n "$crash_qvd" ]; then
  echo "> qvd \"$crash_qvd\""
  wine "$DEMO_BIN/qvd.exe" "C:\\users\\root\\Temp\\$crash_qvd" | sed 's/^/  /'
else
  echo "  no snapshot was written"
fi
wine reg.exe delete 'HKLM\Software\Quillvex Software' /f "/reg:$DEMO_ARCH" >/dev/null || true
rm -f "$crash_temp/crash-time.txt"
