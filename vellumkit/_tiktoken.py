"""tiktoken's `.tiktoken` ranks files: one "base64(token) rank" line per token, no merges.

tiktoken joins the adjacent pair whose joined token has the lowest rank, so a byte model written
with our ids as ranks encodes alike when the ids of merged tokens follow the merge order, as
they do in every trained model. Reading recovers each token's merge by running that rule on the
token with the ranks below its own: it must end at two parts, the merge's operands.
"""

import base64
import os
from collections.abc import Mapping

from vellumkit._contents import Merge, ModelContents


def write_ranks(contents: ModelContents, path: str | os.PathLike[str]) -> None:
    if contents.unit != "byte":
        raise ValueError("a .tiktoken file ranks byte sequences; a 'unicode' model cannot be written as one")
    if contents.unicode_bigrams is not None:
        raise ValueError("tiktoken cannot cut words at Unicode bigrams; this model's unicode_bigrams cannot be written")
    ids = {token: token_id for token_id, token in contents.vocab.items()}
    previous = -1
    for merge in contents.merges:
        target = ids[merge.left + merge.right]
        if target < previous:
            raise ValueError("the ids of merged tokens do not follow the merge order, which tiktoken's ranks cannot express")
        previous = target
    specials = {token.encode("utf-8") for token in contents.special_tokens}
    with open(path, "w", encoding="ascii") as file:
        for token_id in sorted(contents.vocab):
            token = contents.vocab[token_id]
            if token not in specials:
                file.write(f"{base64.b64encode(token).decode('ascii')} {token_id}\n")


def _operands(token: bytes, rank: int, ranks: Mapping[bytes, int]) -> tuple[bytes, bytes]:
    parts = [token[index : index + 1] for index in range(len(token))]
    while len(parts) > 2:
        best = None
        for index in range(len(parts) - 1):
            joined_rank = ranks.get(parts[index] + parts[index + 1])
            if joined_rank is not None and joined_rank < rank and (best is None or joined_rank < best[0]):
                best = (joined_rank, index)
        if best is None:
            break
        index = best[1]
        parts[index : index + 2] = [parts[index] + parts[index + 1]]
    if len(parts) != 2:
        raise ValueError(f"token {token!r} of rank {rank} is not made of two tokens of lower rank")
    return parts[0], parts[1]


def read_ranks(path: str | os.PathLike[str], pat_str: str, special_tokens: Mapping[str, int]) -> ModelContents:
    ranks: dict[bytes, int] = {}
    with open(path, "rb") as file:
        for number, line in enumerate(file, start=1):
            if not line.strip():
                continue
            fields = line.split()
            if len(fields) != 2:
                raise ValueError(f"{os.fspath(path)}: line {number} is not 'base64-token rank'")
            ranks[base64.b64decode(fields[0])] = int(fields[1])
    vocab = {rank: token for token, rank in ranks.items()}
    if len(vocab) != len(ranks):
        raise ValueError(f"{os.fspath(path)}: two tokens share one rank")
    merges = [Merge(*_operands(token, rank, ranks)) for token, rank in sorted(ranks.items(), key=lambda item: item[1])
              if len(token) > 1]
    for token, token_id in special_tokens.items():
        if token_id in vocab:
            raise ValueError(f"special token {token!r} has id {token_id}, which a ranked token already has")
        vocab[token_id] = token.encode("utf-8")
    return ModelContents(unit="byte", vocab=dict(sorted(vocab.items())), merges=tuple(merges),
                         special_tokens=tuple(sorted(special_tokens, key=special_tokens.__getitem__)), pat_str=pat_str)
