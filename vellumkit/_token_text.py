"""Token bytes as file text: the GPT-2 byte-to-unicode table and the printable form.

Both mirror the native writers and readers byte for byte, so that files written here load in
`_lib` and files `_lib` writes load here. The printable form renders a token as its canonical
units (a valid UTF-8 character as itself, a stray byte as "{xNN}"), so it is lossless for every
token that a validated model can hold.
"""

import re

_PRINTABLE_ESCAPE = re.compile(r"\{([ux])([0-9a-fA-F]{2,})\}")
_OPEN_BOX = "\u2423"
# Whitespace beyond ASCII that the merges reader would split at; merges lines escape it.
_WIDE_WHITESPACE = frozenset(
    [0x85, 0xA0, 0x1680, *range(0x2000, 0x200B), 0x2028, 0x2029, 0x202F, 0x205F, 0x3000]
)


def _byte_level_table() -> list[str]:
    printable = [*range(0x21, 0x7F), *range(0xA1, 0xAD), *range(0xAE, 0x100)]
    table = [""] * 256
    for byte in printable:
        table[byte] = chr(byte)
    others = (byte for byte in range(256) if not table[byte])
    for offset, byte in enumerate(others):
        table[byte] = chr(256 + offset)
    return table


BYTE_TO_CHAR = _byte_level_table()
CHAR_TO_BYTE = {char: byte for byte, char in enumerate(BYTE_TO_CHAR)}


def byte_level_text(token: bytes) -> str:
    """The token written with one table character per byte."""
    return "".join([BYTE_TO_CHAR[byte] for byte in token])


def byte_level_bytes(text: str) -> bytes:
    """The bytes of a byte-level token text; ValueError names a character outside the table."""
    try:
        return bytes([CHAR_TO_BYTE[char] for char in text])
    except KeyError as error:
        raise ValueError(f"character {error.args[0]!r} of token text {text!r} is not in the byte-level table") from None


Unit = str | int
"""One canonical unit: a character (str of length 1) or a raw byte (int)."""


def canonical_units(token: bytes) -> list[Unit]:
    """The canonical decoding of `token`: a lead byte gathers the continuation bytes after it, and a
    group that is one valid UTF-8 character becomes that character, any other group raw bytes."""
    try:
        return list(token.decode("utf-8"))
    except UnicodeDecodeError:
        pass
    units: list[Unit] = []
    group = bytearray()

    def flush() -> None:
        if group:
            try:
                units.append(group.decode("utf-8"))
            except UnicodeDecodeError:
                units.extend(group)
            group.clear()

    for byte in token:
        if byte < 0x80:
            flush()
            units.append(chr(byte))
        elif byte >= 0xC0:
            flush()
            group.append(byte)
        elif group:
            group.append(byte)
        else:
            units.append(byte)
    flush()
    return units


def units_bytes(units: list[Unit]) -> bytes:
    return b"".join(unit.encode("utf-8") if isinstance(unit, str) else bytes([unit]) for unit in units)


def printable_text(token: bytes, *, in_merges: bool = False) -> str:
    """The printable form of `token`; `in_merges` also escapes the wide whitespace characters."""
    parts = []
    for unit in canonical_units(token):
        if isinstance(unit, int):
            parts.append(f"{{x{unit:02x}}}")
            continue
        code = ord(unit)
        if code == 0x20:
            parts.append(_OPEN_BOX)
        elif code < 0x20 or code == 0x7F or unit in "{}" or unit == _OPEN_BOX or (in_merges and code in _WIDE_WHITESPACE):
            parts.append(f"{{u{code:04x}}}")
        else:
            parts.append(unit)
    return "".join(parts)


def printable_units(text: str) -> list[Unit]:
    """The units written as `text` in the printable form; ValueError for an escape out of range."""
    units: list[Unit] = []
    position = 0
    for match in _PRINTABLE_ESCAPE.finditer(text):
        units.extend(" " if char == _OPEN_BOX else char for char in text[position : match.start()])
        kind, digits = match.groups()
        value = int(digits, 16)
        if kind == "x" and value > 0xFF or kind == "u" and (0xD800 <= value <= 0xDFFF or value > 0x10FFFF):
            raise ValueError(f"escape {match.group()} of token text {text!r} is out of range")
        units.append(value if kind == "x" else chr(value))
        position = match.end()
    units.extend(" " if char == _OPEN_BOX else char for char in text[position:])
    return units
