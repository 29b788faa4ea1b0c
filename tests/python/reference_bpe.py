"""A naive, obviously correct BPE trainer, for tests only.

It recounts every pair of every word at every step instead of keeping incremental statistics,
and rewrites every word at every merge. Its rules are the trainers' rules:

- ids: special tokens, then the 256 byte tokens, then one id per applied step;
- words equal to a special token are dropped; symbols are ids, and in the character trainer
  ("unicode") every character from U+0080 up is the symbol ("char", c) until merged;
- candidates: every adjacent pair with total frequency >= 1, and (unicode only) every
  character symbol counted when training was initialised whose one-character content is not yet
  a token ("character additions", counted once per initialisation, as the trainers do);
- order: higher frequency, then character addition over pair, then the tie-break
  (smaller pair ids, or larger left then right content), then smaller pair ids;
- a merge rewrites non-overlapping occurrences left to right; the bigram cutoff stops before an
  ordinary pair whose frequency is below it.
"""

def merge_pair(symbols, pair, new):
    """`symbols` with every non-overlapping occurrence of `pair`, from the left, replaced by `new`."""
    out, i = [], 0
    while i < len(symbols):
        if i + 1 < len(symbols) and (symbols[i], symbols[i + 1]) == pair:
            out.append(new)
            i += 2
        else:
            out.append(symbols[i])
            i += 1
    return out


BYTE_LEVEL_ORDER = [b for b in range(256) if 0x21 <= b <= 0x7E or 0xA1 <= b <= 0xAC or b >= 0xAE] + [
    b for b in range(256) if not (0x21 <= b <= 0x7E or 0xA1 <= b <= 0xAC or b >= 0xAE)
]
MARKER = ("id", 0xFFFFFFFF)


def _gpt2_chars():
    chars, extra = [], 0
    for b in range(256):
        if 0x21 <= b <= 0x7E or 0xA1 <= b <= 0xAC or b >= 0xAE:
            chars.append(b)
        else:
            chars.append(0x100 + extra)
            extra += 1
    return chars


# The code point that stands for each byte in the "gpt2" format's token text.
GPT2_CHARS = _gpt2_chars()


def gpt2_text(data):
    """Bytes as the "gpt2" format writes them."""
    return "".join(chr(GPT2_CHARS[b]) for b in data)


def unit_key(unit):
    """Order of units: scalars (str) before raw bytes (int)."""
    return (1, unit) if isinstance(unit, int) else (0, ord(unit))


def symbol_key(symbol):
    """Order of symbols: characters before ids."""
    kind, value = symbol
    return (0, ord(value)) if kind == "char" else (1, value)


class ReferenceTrainer:
    def __init__(self, unit, special_tokens, initial_alphabet="raw", tie_break="smallest_pair_id",
                 bigram_cutoff_freq=None):
        self.unit = unit
        self.specials = list(special_tokens)
        self.tie_break = tie_break
        self.cutoff = bigram_cutoff_freq
        self.vocab = [self.units_of_text(token) for token in special_tokens]
        order = BYTE_LEVEL_ORDER if initial_alphabet == "byte_level" else range(256)
        self.byte_ids = {}
        for byte in order:
            self.byte_ids[byte] = len(self.vocab)
            self.vocab.append(self.unit_of_byte(byte))
        self.words = []
        self.merge_freqs = []
        self.additions = {}

    def units_of_text(self, text):
        return tuple(text) if self.unit == "unicode" else tuple(text.encode("utf-8"))

    def unit_of_byte(self, byte):
        if self.unit == "byte":
            return (byte,)
        return (chr(byte),) if byte < 0x80 else (byte,)

    def symbol_of(self, unit):
        if self.unit == "byte":
            return ("id", self.byte_ids[unit])
        if ord(unit) < 0x80:
            return ("id", self.byte_ids[ord(unit)])
        return ("char", unit)

    def content(self, symbol):
        kind, value = symbol
        return (value,) if kind == "char" else self.vocab[value]

    def add_words(self, words):
        specials = set(self.specials)
        self.words = [
            [[self.symbol_of(u) for u in self.units_of_text(word)], freq] for word, freq in words if word not in specials
        ]

    def init_training(self):
        counts = {}
        for symbols, freq in self.words:
            for symbol in symbols:
                if symbol[0] == "char":
                    counts[symbol] = counts.get(symbol, 0) + freq
        contents = set(self.vocab)
        self.additions = {s: c for s, c in counts.items() if self.content(s) not in contents}

    def pair_freqs(self):
        freqs = {}
        for symbols, freq in self.words:
            for pair in zip(symbols, symbols[1:]):
                freqs[pair] = freqs.get(pair, 0) + freq
        return freqs

    def rank(self, pair, freq, is_addition):
        """A key whose maximum is the winner."""
        left, right = pair
        if self.tie_break == "largest_content":
            content_key = (
                [unit_key(u) for u in self.content(left)] if not is_addition else [],
                [unit_key(u) for u in self.content(right)],
            )
        else:
            content_key = ()
        ids = (tuple(-x for x in symbol_key(left)), tuple(-x for x in symbol_key(right)))
        return (freq, is_addition, content_key, ids)

    def best(self):
        candidates = [(self.rank(p, f, False), p, f, False) for p, f in self.pair_freqs().items() if f >= 1]
        candidates += [(self.rank((MARKER, s), f, True), s, f, True) for s, f in self.additions.items() if f >= 1]
        return max(candidates, default=None, key=lambda c: c[0])

    def apply(self, winner):
        _, what, freq, is_addition = winner
        new = ("id", len(self.vocab))
        if is_addition:
            del self.additions[what]
            self.vocab.append(self.content(what))
            return
        for word in self.words:
            word[0] = merge_pair(word[0], what, new)
        left, right = what
        self.vocab.append(self.content(left) + self.content(right))
        self.merge_freqs.append(freq)

    def step(self):
        winner = self.best()
        if winner is None:
            raise RuntimeError("No more step could be performed")
        self.apply(winner)
        return len(self.vocab)

    def train_until(self, target):
        if target < len(self.vocab):
            raise RuntimeError(f"Target vocabulary size {target} is smaller than the current vocabulary size {len(self.vocab)}")
        if target == len(self.vocab):
            return target
        self.init_training()
        while len(self.vocab) < target:
            winner = self.best()
            if winner is None:
                break
            if not winner[3] and self.cutoff is not None and winner[2] < self.cutoff:
                break
            self.apply(winner)
        return len(self.vocab)

    def token_bytes(self, token):
        if self.unit == "byte":
            return bytes(token)
        return b"".join(u.encode("utf-8") if isinstance(u, str) else bytes([u]) for u in token)

    def vocab_items(self):
        """(bytes, id) in first-occurrence order, later ids replacing earlier ones."""
        positions, items = {}, []
        for index, token in enumerate(self.vocab):
            if token in positions:
                items[positions[token]] = (items[positions[token]][0], index)
            else:
                positions[token] = len(items)
                items.append((self.token_bytes(token), index))
        return items


def reference_encode_word(units, unit_ids, merges):
    """A naive encoder, for tests only: `units` of one word to ids, then, again and again, the
    lowest-rank merge whose pair occurs, applied to all its non-overlapping occurrences from the
    left. `merges` maps (left id, right id) to (rank, target id)."""
    symbols = [unit_ids[unit] for unit in units]
    while True:
        ranked = [(merges[pair][0], pair) for pair in zip(symbols, symbols[1:]) if pair in merges]
        if not ranked:
            return symbols
        _, pair = min(ranked)
        symbols = merge_pair(symbols, pair, merges[pair][1])
