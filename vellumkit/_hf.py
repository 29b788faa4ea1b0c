"""HF `tokenizer.json` files of BPE models, written and read.

A byte model is written as byte-level BPE: our word pattern as a Split that keeps only its
matches (text outside every match is dropped, as our pre-tokenizer drops it), then the
byte-level mapping without its own pattern. A character model is written as BPE over characters
with byte fallback: a character without a token becomes its bytes, the tokens "<0xNN>", exactly
as our character encoder falls back to the raw-byte tokens. Special tokens are added tokens,
split out before the pattern runs.
"""

import json
import os
from typing import Any

from vellumkit._contents import DEFAULT_PATTERN, Merge, ModelContents
from vellumkit._token_text import byte_level_bytes, byte_level_text

def _byte_fallback_text(token: bytes) -> str:
    if len(token) == 1 and token[0] >= 0x80:
        return f"<0x{token[0]:02X}>"
    try:
        return token.decode("utf-8")
    except UnicodeDecodeError:
        raise ValueError(
            f"token {token!r} is a fragment of several bytes that are not UTF-8; tokenizer.json can hold single "
            "bytes only (as <0xNN>), so a model whose merges join byte fragments cannot be written"
        ) from None


def _added_token(token: str, token_id: int) -> dict[str, Any]:
    return {"id": token_id, "content": token, "single_word": False, "lstrip": False, "rstrip": False,
            "normalized": False, "special": True}


def _split(pattern: str) -> dict[str, Any]:
    return {"type": "Split", "pattern": {"Regex": pattern}, "behavior": "Removed", "invert": True}


def tokenizer_json(contents: ModelContents) -> dict[str, Any]:
    if contents.unicode_bigrams is not None:
        raise ValueError("tokenizer.json cannot cut words at Unicode bigrams; this model's unicode_bigrams cannot be written")
    pattern = contents.pat_str or DEFAULT_PATTERN
    specials = {token.encode("utf-8"): token for token in contents.special_tokens}
    if contents.unit == "byte":
        text_of = byte_level_text
        pre_tokenizer: dict[str, Any] = {"type": "Sequence", "pretokenizers": [
            _split(pattern), {"type": "ByteLevel", "add_prefix_space": False, "trim_offsets": True, "use_regex": False}]}
        decoder: dict[str, Any] = {"type": "ByteLevel", "add_prefix_space": False, "trim_offsets": True, "use_regex": False}
    else:
        text_of = _byte_fallback_text
        pre_tokenizer = _split(pattern)
        decoder = {"type": "Sequence", "decoders": [{"type": "ByteFallback"}, {"type": "Fuse"}]}
    vocab: dict[str, int] = {}
    for token_id in sorted(contents.vocab):
        token = contents.vocab[token_id]
        text = specials.get(token) or text_of(token)
        if text in vocab:
            raise ValueError(f"two tokens would both be written as {text!r}")
        vocab[text] = token_id
    merges = [[text_of(merge.left), text_of(merge.right)] for merge in contents.merges]
    if contents.unit == "unicode" and any(merge.left[0] >= 0x80 and len(merge.left) == 1 or
                                          merge.right[0] >= 0x80 and len(merge.right) == 1 for merge in contents.merges):
        raise ValueError("a merge joins raw bytes, which byte fallback in tokenizer.json cannot express")
    return {
        "version": "1.0", "truncation": None, "padding": None,
        "added_tokens": [_added_token(token, vocab[token]) for token in contents.special_tokens],
        "normalizer": None, "pre_tokenizer": pre_tokenizer, "post_processor": None, "decoder": decoder,
        "model": {"type": "BPE", "dropout": None, "unk_token": None, "continuing_subword_prefix": None,
                  "end_of_word_suffix": None, "fuse_unk": False, "byte_fallback": contents.unit == "unicode",
                  "ignore_merges": False, "vocab": vocab, "merges": merges},
    }


def write_tokenizer_json(contents: ModelContents, path: str | os.PathLike[str]) -> None:
    with open(path, "w", encoding="utf-8") as file:
        json.dump(tokenizer_json(contents), file, ensure_ascii=False, indent=2)


def _refuse(what: str) -> ValueError:
    return ValueError(f"this tokenizer.json cannot be read: {what}")


def _split_pattern(step: dict[str, Any]) -> str:
    pattern = step.get("pattern", {})
    if "Regex" not in pattern:
        raise _refuse("a Split pre-tokenizer needs a Regex pattern")
    # Our pre-tokenizer keeps the matches and drops the text between them: "Removed" with
    # "invert" does exactly that, "Isolated" alike whenever the pattern matches all text (as
    # the usual word patterns do).
    keeps_matches_only = (step.get("behavior"), bool(step.get("invert"))) == ("Removed", True)
    if not keeps_matches_only and (step.get("behavior"), bool(step.get("invert"))) != ("Isolated", False):
        raise _refuse(f"Split behaviour {step.get('behavior')!r} has no counterpart here")
    return str(pattern["Regex"])


def _pre_tokenizer(step: dict[str, Any] | None) -> tuple[bool, str | None]:
    """(whether tokens are byte-level, the word pattern or None for the default one)."""
    steps = [] if step is None else step["pretokenizers"] if step.get("type") == "Sequence" else [step]
    kinds = [item.get("type") for item in steps]
    for item in steps:
        if item.get("type") == "ByteLevel" and item.get("add_prefix_space"):
            raise _refuse("ByteLevel with add_prefix_space puts a space before every text")
    if kinds == ["ByteLevel"] and steps[0].get("use_regex", True):
        return True, None
    if kinds == ["Split", "ByteLevel"] and not steps[1].get("use_regex", True):
        return True, _split_pattern(steps[0])
    if kinds == ["Split"]:
        return False, _split_pattern(steps[0])
    raise _refuse(f"pre-tokenizers {kinds} have no counterpart here (a word pattern, then optionally ByteLevel)")


def _fallback_bytes(text: str) -> bytes:
    if len(text) == 6 and text.startswith("<0x") and text.endswith(">"):
        return bytes([int(text[3:5], 16)])
    return text.encode("utf-8")


def read_tokenizer_json(path: str | os.PathLike[str]) -> ModelContents:
    with open(path, encoding="utf-8") as file:
        data = json.load(file)
    model = data.get("model", {})
    if model.get("type") != "BPE":
        raise _refuse(f"the model is {model.get('type')!r}, not BPE")
    if data.get("normalizer") is not None:
        raise _refuse("a normalizer changes the text before splitting")
    if model.get("continuing_subword_prefix") or model.get("end_of_word_suffix"):
        raise _refuse("subword prefixes and suffixes have no counterpart here")
    byte_level, pattern = _pre_tokenizer(data.get("pre_tokenizer"))
    if not byte_level and not model.get("byte_fallback"):
        raise _refuse("a BPE model over characters needs byte_fallback, so that every text can be encoded")
    token_bytes = byte_level_bytes if byte_level else _fallback_bytes
    # Added tokens are matched by their content before anything else, whatever the model's
    # vocabulary writes at their ids.
    added = {int(item["id"]): str(item["content"]) for item in data.get("added_tokens", [])}
    vocab = {token_id: token_bytes(text) for text, token_id in model["vocab"].items() if token_id not in added}
    vocab.update((token_id, content.encode("utf-8")) for token_id, content in added.items())
    pairs = (merge.split(" ", 1) if isinstance(merge, str) else merge for merge in model["merges"])
    merges = tuple(Merge(token_bytes(left), token_bytes(right)) for left, right in pairs)
    special_tokens = tuple(added[token_id] for token_id in sorted(added))
    return ModelContents(unit="byte" if byte_level else "unicode", vocab=dict(sorted(vocab.items())), merges=merges,
                         special_tokens=special_tokens, pat_str=pattern)
