#!/usr/bin/env python3
"""Writes data/Description.rtf from Description.txt (UTF-8) beside this script.

Not part of the build; run it after editing the text:
    python3 data/description/make_description_rtf.py

Markup of the text, one paragraph per line:
    = title          centred, large, bold, dark blue
    ~ text           centred, italic
    # heading        bold, dark red, larger
    - item           an item with a bullet
    *word*           bold
    !word!           bold, dark green
"""
import pathlib
import re

HERE = pathlib.Path(__file__).resolve().parent
SOURCE = HERE / "Description.txt"
TARGET = HERE.parent / "Description.rtf"

HEADER = (
    r"{\rtf1\ansi\ansicpg1251\deff0"
    r"{\fonttbl{\f0\fswiss\fcharset204 Arial;}}"
    r"{\colortbl ;\red0\green0\blue128;\red128\green0\blue0;\red0\green100\blue0;}"
    r"{\*\generator make_description_rtf;}"
    "\n"
)


def escape(text):
    out = []
    for ch in text:
        if ch in "\\{}":
            out.append("\\" + ch)
        elif ord(ch) < 128:
            out.append(ch)
        else:
            try:
                out.append("\\'%02x" % ch.encode("cp1251")[0])
            except UnicodeEncodeError:
                code = ord(ch)
                out.append("\\u%d?" % (code if code < 32768 else code - 65536))
    return "".join(out)


def inline(text):
    text = escape(text)
    text = re.sub(r"\*([^*]+)\*", r"{\\b \1}", text)
    return re.sub(r"!([^!]+)!", r"{\\b\\cf3 \1}", text)


def paragraph(line):
    if line.startswith("= "):
        return r"\pard\qc\sb120\sa120{\b\fs40\cf1 " + inline(line[2:]) + r"}\par"
    if line.startswith("~ "):
        return r"\pard\qc\sa120{\i " + inline(line[2:]) + r"}\par"
    if line.startswith("# "):
        return r"\pard\sb200\sa80{\b\fs28\cf2 " + inline(line[2:]) + r"}\par"
    if line.startswith("- "):
        return r"\pard\li240\fi-240\bullet  " + inline(line[2:]) + r"\par"
    return r"\pard\sa80 " + inline(line) + r"\par"


def main():
    lines = [l.rstrip() for l in SOURCE.read_text(encoding="utf-8").splitlines()]
    body = "\n".join(paragraph(l) for l in lines if l)
    TARGET.write_bytes((HEADER + r"\f0\fs20 " + "\n" + body + "\n}\n").encode("ascii"))


if __name__ == "__main__":
    main()
