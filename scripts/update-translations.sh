#!/usr/bin/env bash
# Refreshes the translations from the sources: every tr() / translate / QT_TRANSLATE_NOOP text and
# every text of the forms goes into translations/morvex_en.ts and morvex_ko.ts (texts no longer in
# the sources are dropped), and the English file's translations are set to the source texts.
# New Korean messages are left unfinished for a translator (Qt Linguist, or by hand).
#   scripts/update-translations.sh            refresh both files
#   scripts/update-translations.sh --scan OUT  only write the messages found in the sources to OUT
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
lupdate="${LUPDATE:-$(command -v /usr/lib/qt5/bin/lupdate || command -v lupdate)}"
sources=(app study segmentation analysis view view3d workspace export planning archive_ui network)
scan=(-I "$root" -extensions cpp,h,ui -locations none -no-obsolete -silent "${sources[@]}")

if [ "${1:-}" = "--scan" ]; then
  "$lupdate" "${scan[@]}" -ts "$2"
  exit 0
fi

"$lupdate" "${scan[@]}" -ts translations/morvex_en.ts translations/morvex_ko.ts
# English: each translation is its source text
python3 - translations/morvex_en.ts <<'PY'
import sys, xml.etree.ElementTree as ET
path = sys.argv[1]
tree = ET.parse(path)
for message in tree.iter("message"):
    translation = message.find("translation")
    source = message.find("source").text
    translation.attrib.pop("type", None)
    if message.get("numerus") == "yes":
        # one form for n == 1 and one for the rest, both the source text
        for form in list(translation):
            translation.remove(form)
        translation.text = None
        for _ in range(2):
            ET.SubElement(translation, "numerusform").text = source
    else:
        translation.text = source
with open(path, "wb") as out:
    out.write(b'<?xml version="1.0" encoding="utf-8"?>\n<!DOCTYPE TS>\n')
    tree.write(out, encoding="utf-8", xml_declaration=False)
    out.write(b"\n")
PY
"$lupdate" "${scan[@]}" -ts translations/morvex_en.ts  # back in lupdate's own layout
echo "update-translations: translations/morvex_en.ts and morvex_ko.ts refreshed;" \
     "give unfinished messages of morvex_ko.ts their Korean"
