# Font installation: a fresh install of Demo Glyphs 1.0, the same revision
# again, then 2.0. The fixtures are built beside the programs; the font goes
# into the prefix's own fonts folder and Fonts key.
section "fonts: UpdateFont installs, refuses the same revision, upgrades"

fonts_dir="$DEMO_DRIVE_C/windows/Fonts"
fixtures="Z:$(printf '%s' "$DEMO_BIN/fixtures/fonts" | tr / '\\')"
fonts_key='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Fonts'

# One line per thing UpdateFont may change: the two files and the value.
font_state() {
  local f
  for f in DemoGlyphs.ttf DemoGlyphs.FOT; do
    if [ -f "$fonts_dir/$f" ]; then
      printf '%s: %s bytes, md5 %.8s, modified %s' "$f" "$(stat -c %s "$fonts_dir/$f")" \
        "$(md5sum <"$fonts_dir/$f")" "$(stat -c %y "$fonts_dir/$f" | cut -c12-23)"
      if [ "$f" = DemoGlyphs.ttf ]; then
        /usr/bin/python3 -c 'import sys; from fontTools.ttLib import TTFont
print(", revision %s" % TTFont(sys.argv[1])["head"].fontRevision)' "$fonts_dir/$f"
      else
        echo
      fi
    else
      echo "$f: absent"
    fi
  done
  local value
  value=$(wine reg.exe query "$fonts_key" /v 'Demo Glyphs (TrueType)' 2>/dev/null |
    sed -n 's/^ *Demo Glyphs (TrueType) *REG_SZ *//p' || true)
  echo "registry \"Demo Glyphs (TrueType)\": ${value:-absent}"
}

# update_font REVISION: one UpdateFont call and what it changed.
update_font() {
  local before after
  before=$(font_state)
  engine UpdateFont 'Demo Glyphs' DemoGlyphs.ttf "$fixtures\\$1" 'C:\windows\Fonts'
  after=$(font_state)
  if [ "$before" = "$after" ]; then
    echo "  nothing changed"
  else
    { diff <(echo "$before") <(echo "$after") || true; } | sed -n 's/^> /  now  /p'
  fi
}

# Start from a prefix without the font, whatever an earlier run left.
wine "$DEMO_BIN/fonts_wine_reset.exe" >/dev/null
echo "before:"
font_state | sed 's/^/  /'
update_font 1.0
update_font 1.0
update_font 2.0
