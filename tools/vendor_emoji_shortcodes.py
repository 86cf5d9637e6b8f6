#!/usr/bin/env python3
"""Write the emoji shortcode table that the default index reads.

Maintainer script, run by hand when the `emoji` package is upgraded (the build never runs it,
so the build needs neither the package nor a network):

    python -m venv /tmp/emoji && /tmp/emoji/bin/pip install emoji==2.16.0
    /tmp/emoji/bin/python tools/vendor_emoji_shortcodes.py

It reads the package's EMOJI_DATA and writes data/sources/emoji-shortcodes/shortcodes.tsv:
one line per emoji of the package, `sequence<TAB>status<TAB>version<TAB>name<TAB>aliases`,
the sequence as space-separated hexadecimal code points, the status as the package's word
(fully-qualified, component, ...), the version the Emoji version that added it, the name and
the aliases without their colons, the aliases separated by spaces. Lines are in sequence order.
"""

import sys
from pathlib import Path

import emoji
from emoji.unicode_codes import EMOJI_DATA, STATUS

OUT = Path(__file__).resolve().parent.parent / "data" / "sources" / "emoji-shortcodes"
STATUS_WORDS = {number: word.replace("_", "-") for word, number in STATUS.items()}


def bare(code: str) -> str:
    return code.removeprefix(":").removesuffix(":")


def main() -> int:
    lines = [f"# Emoji shortcodes of the `emoji` package {emoji.__version__} (PyPI, BSD licence), "
             "written by tools/vendor_emoji_shortcodes.py",
             "# sequence\tstatus\tversion\tname\taliases"]
    for sequence in sorted(EMOJI_DATA, key=lambda s: [ord(c) for c in s]):
        data = EMOJI_DATA[sequence]
        aliases = " ".join(bare(a) for a in data.get("alias", []))
        lines.append("\t".join([" ".join("%04X" % ord(c) for c in sequence),
                                STATUS_WORDS[data["status"]], str(data["E"]), bare(data["en"]),
                                aliases]))
    OUT.mkdir(parents=True, exist_ok=True)
    (OUT / "shortcodes.tsv").write_text("\n".join(lines) + "\n", encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
