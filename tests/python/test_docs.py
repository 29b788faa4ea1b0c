"""Every python block of the user guide runs as written: page by page, blocks in order sharing
one namespace, in an empty temporary folder."""

import os
import pathlib
import re
from unittest import mock

import pytest

DOCS = pathlib.Path(__file__).resolve().parents[2] / "docs"
BLOCK = re.compile(r"^```python\n(.*?)^```$", re.DOTALL | re.MULTILINE)
PAGES = sorted(page for page in DOCS.glob("*.md") if page.name != "README.md")


def test_every_page_of_the_guide_is_listed_in_its_contents():
    contents = (DOCS / "README.md").read_text(encoding="utf-8")
    assert {page.name for page in PAGES} == set(re.findall(r"\]\(([\w-]+\.md)\)", contents))


@pytest.mark.parametrize("page", PAGES, ids=[page.stem for page in PAGES])
def test_code_blocks_run(page, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    text = page.read_text(encoding="utf-8")
    namespace: dict[str, object] = {"__name__": "__docs__"}
    with mock.patch.dict(os.environ):  # a page may set variables for the tools it shows
        for number, match in enumerate(BLOCK.finditer(text), start=1):
            line = text[: match.start(1)].count("\n") + 1
            exec(compile(match.group(1), f"{page.name}:{line} (block {number})", "exec"), namespace)
