# The file description, the shortcut check and the icon cache rebuild.

# The Windows name of a file under the build's bin folder.
bin_path() { printf 'Z:%s\\%s' "$(printf '%s' "$DEMO_BIN" | tr / '\\')" "$1"; }

section "file description: GetFileDescription"
engine GetFileDescription "$(bin_path Tarvish.dll)"
echo "  (a file without a version resource gives empty text:)"
engine GetFileDescription "$(bin_path EngineHost.exe)"

section "shortcut: CheckShortCutAndUpdateIfNecessary"
demo_dir="$DEMO_DRIVE_C/Demo"
rm -rf "$demo_dir"
mkdir -p "$demo_dir/Quillvex" "$demo_dir/Desktop"
: >"$demo_dir/Quillvex/Editor.exe"
: >"$demo_dir/Quillvex/Editor 2.exe"
wine "$DEMO_BIN/shortcut_tool.exe" make 'C:\Demo\Desktop\Editor.lnk' 'C:\Demo\Quillvex\Editor.exe'
shortcuts() {
  local f
  for f in Editor.lnk 'Quillvex Editor.lnk'; do
    echo "  $f -> $(wine "$DEMO_BIN/shortcut_tool.exe" show "C:\\Demo\\Desktop\\$f")"
  done
}
echo "before:"
shortcuts
echo "expected target of another length: nothing changes (1)"
engine CheckShortCutAndUpdateIfNecessary 'C:\Demo\Desktop\Editor.lnk' \
  'C:\Demo\Quillvex\Editor.exe.old' 'C:\Demo\Quillvex\Editor 2.exe' 'C:\Demo\Desktop\Quillvex Editor.lnk'
echo "expected target in other case: re-targeted, saved under the new name, old one deleted (0)"
engine CheckShortCutAndUpdateIfNecessary 'C:\Demo\Desktop\Editor.lnk' \
  'c:\demo\quillvex\editor.exe' 'C:\Demo\Quillvex\Editor 2.exe' 'C:\Demo\Desktop\Quillvex Editor.lnk'
echo "after:"
shortcuts
echo "the old shortcut is gone now (3)"
engine CheckShortCutAndUpdateIfNecessary 'C:\Demo\Desktop\Editor.lnk' \
  'c:\demo\quillvex\editor.exe' 'C:\Demo\Quillvex\Editor 2.exe' 'C:\Demo\Desktop\Quillvex Editor.lnk'

section "icon cache: ForceIconCacheRebuild"
metrics='HKCU\Control Panel\desktop\WindowMetrics'
icon_size() {
  local value
  value=$(wine reg.exe query "$metrics" /v 'Shell Icon Size' 2>/dev/null |
    sed -n 's/^ *Shell Icon Size *//p' || true)
  echo "  \"Shell Icon Size\": ${value:-absent}"
}
wine reg.exe add "$metrics" /v 'Shell Icon Size' /t REG_SZ /d 32 /f >/dev/null
echo "before:"
icon_size
engine ForceIconCacheRebuild
echo "after (set to 100, broadcast, put back, broadcast):"
icon_size
wine reg.exe delete "$metrics" /v 'Shell Icon Size' /f >/dev/null
echo "without the value:"
icon_size
engine ForceIconCacheRebuild
icon_size
