#!/usr/bin/env python3
"""The documents' links hold: every relative link and picture in README.md
and docs/*.md names a file inside the source tree, every #anchor a heading
(or an explicit anchor) of the Markdown file it points into, and the README
stays within its 200 lines.

Usage: doc_links_test.py SOURCE_DIR
"""
import glob
import os
import re
import sys
import urllib.parse

README_MAX_LINES = 200

FENCE = re.compile(r"^ {0,3}(```|~~~)")
CODE_SPAN = re.compile(r"(`+)(?:(?!\1).)+?\1")
# [text](target "title") and ![alt](target), the target without spaces.
INLINE_LINK = re.compile(r"!?\[(?:[^\]\\]|\\.)*\]\(\s*<?([^)\s>]*)>?(?:\s+\"[^\"]*\")?\s*\)")
REFERENCE_DEF = re.compile(r"^ {0,3}\[[^\]]+\]:\s*<?(\S+?)>?(?:\s+.*)?$")
HTML_TARGET = re.compile(r"<(?:a|img)\b[^>]*?\b(?:href|src)\s*=\s*\"([^\"]*)\"", re.I)
HTML_ANCHOR = re.compile(r"<a\b[^>]*?\b(?:id|name)\s*=\s*\"([^\"]*)\"", re.I)
HEADING = re.compile(r"^ {0,3}#{1,6}\s+(.*?)\s*#*\s*$")
SCHEME = re.compile(r"^[A-Za-z][A-Za-z0-9+.-]*:|^//")


def prose_lines(path):
    """Yields (line number, line) of a Markdown file outside fenced code,
    with code spans blanked out."""
    in_fence = None
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            fence = FENCE.match(line)
            if fence:
                if in_fence is None:
                    in_fence = fence.group(1)
                elif fence.group(1) == in_fence:
                    in_fence = None
                continue
            if in_fence is None:
                yield number, CODE_SPAN.sub("", line.rstrip("\n"))


def slug(heading):
    """The anchor a heading gets: its text lower-cased, formatting and
    punctuation dropped, spaces turned into hyphens."""
    text = re.sub(r"`", "", heading)
    text = re.sub(r"!?\[([^\]]*)\]\([^)]*\)", r"\1", text)
    text = re.sub(r"[^\w\- ]", "", text.strip().lower())
    return text.replace(" ", "-")


def anchors(path, cache={}):
    """Every anchor of a Markdown file: its headings' slugs (a repeated one
    numbered -1, -2, ...) and its explicit <a id/name> anchors."""
    if path not in cache:
        found, seen = set(), {}
        for _, line in prose_lines(path):
            found.update(HTML_ANCHOR.findall(line))
            heading = HEADING.match(line)
            if heading:
                base = slug(heading.group(1))
                count = seen.get(base, 0)
                seen[base] = count + 1
                found.add(base if count == 0 else f"{base}-{count}")
        cache[path] = found
    return cache[path]


def targets(path):
    """Yields (line number, target) of every link and picture of a file."""
    for number, line in prose_lines(path):
        for pattern in (INLINE_LINK, HTML_TARGET):
            for target in pattern.findall(line):
                yield number, target
        definition = REFERENCE_DEF.match(line)
        if definition:
            yield number, definition.group(1)


def broken(path, target, root):
    """Why a link of the file at path does not hold, or None."""
    if not target:
        return "an empty link"
    if SCHEME.match(target):
        return None
    file_part, _, anchor = target.partition("#")
    file_part = urllib.parse.unquote(file_part)
    resolved = os.path.normpath(os.path.join(os.path.dirname(path), file_part))
    if os.path.commonpath([root, resolved]) != root:
        return "points outside the source tree"
    if not os.path.exists(resolved):
        return "no such file"
    if anchor and resolved.endswith(".md") and os.path.isfile(resolved):
        if urllib.parse.unquote(anchor).lower() not in anchors(resolved):
            return f"no heading #{anchor} in {os.path.relpath(resolved, root)}"
    return None


def main():
    root = os.path.realpath(sys.argv[1] if len(sys.argv) > 1 else ".")
    documents = [os.path.join(root, "README.md")]
    documents += sorted(glob.glob(os.path.join(root, "docs", "*.md")))
    faults = []
    checked = 0
    for path in documents:
        if not os.path.isfile(path):
            faults.append(f"{os.path.relpath(path, root)}: missing")
            continue
        for number, target in targets(path):
            checked += 1
            why = broken(path, target, root)
            if why:
                faults.append(f"{os.path.relpath(path, root)}:{number}: {target}: {why}")
    with open(documents[0], encoding="utf-8") as f:
        readme_lines = sum(1 for _ in f)
    if readme_lines > README_MAX_LINES:
        faults.append(f"README.md: {readme_lines} lines, more than {README_MAX_LINES}")
    for fault in faults:
        print(fault)
    print(f"doc_links: {len(documents)} documents, {checked} links, {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
