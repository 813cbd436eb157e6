#!/usr/bin/env bash
# The application icon: the committed .ico is what its script draws, and the
# image carries it as group icon 101 in Japanese with three images.
set -euo pipefail
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
python3 "$SOURCE_DIR/resources/make_icon.py" "$tmp/updater.ico"
cmp "$tmp/updater.ico" "$SOURCE_DIR/resources/updater.ico" || { echo "resources/updater.ico is stale: rerun make_icon.py"; exit 1; }
python3 - "$SOURCE_DIR/resources/updater.ico" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
reserved, kind, count = struct.unpack_from("<HHH", data)
assert (reserved, kind, count) == (0, 1, 3), (reserved, kind, count)
sizes = [struct.unpack_from("<BB", data, 6 + 16 * i) for i in range(count)]
assert sizes == [(16, 16), (32, 32), (48, 48)], sizes
PY

exe=$WINDOWS_BUILD_DIR/updater.exe
[ -f "$exe" ] || { echo "missing $exe (build the windows preset)"; exit 1; }
# objdump indents the resource tree: type, then name, then language entries.
i686-w64-mingw32-objdump -p "$exe" | sed -n '/The .rsrc Resource Directory section/,/Resources start/p' |
python3 -c '
import re, sys
resources, kind, name = [], None, None
for line in sys.stdin:
    m = re.match(r"^[0-9a-f]+( +)Entry: ID: (0x[0-9a-f]+)", line)
    if not m:
        continue
    depth, ident = len(m.group(1)), int(m.group(2), 16)
    if depth == 3: kind = ident
    elif depth == 5: name = ident
    elif depth == 7: resources.append((kind, name, ident))
icons = [r for r in resources if r[0] == 3]        # RT_ICON
groups = [r for r in resources if r[0] == 14]      # RT_GROUP_ICON
assert groups == [(14, 101, 0x411)], resources
assert len(icons) == 3 and all(r[2] == 0x411 for r in icons), resources
assert len(resources) == 4, resources
'
echo "icon ok"
