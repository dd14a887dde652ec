#!/usr/bin/env python3
"""Checks the source tree's layout rules and names each breach; exit status 1 when there is one.

  long-function    no function over 80 lines, from the first line of its signature to its
                   closing brace (tests/, bench/ and meter/tools/ aside)
  library-header   no header of ours includes sndfile.h or fftw3.h: their types stay inside
                   the .cpp files that read audio and take transforms
  platform-header  portaudio.h, FL/..., windows.h and emscripten's headers are included by
                   headers only in a folder named portaudio/, fltk/, win32/, windows/ or web/
  number-parser    no strto*, ato*, sto* or sscanf call outside text/, the one parser of the
                   numbers a user gives (tests/, bench/ and meter/tools/ aside)

Known breaches being fixed elsewhere are listed, one `rule path[:name]` a line, in
scripts/check_layout-exceptions.txt (# starts a comment); `name` is the function (long-function),
the header included (the header rules) or the call (number-parser); without it the entry covers
every breach of the rule in the file. An entry that matches nothing is reported too, so that the
list empties as the fixes land.

usage: check_layout.py [--root DIR] [--exceptions FILE] [--max-lines N]
"""
import argparse
import os
import re
import sys
from pathlib import Path

SOURCE_SUFFIXES = (".cpp", ".cc", ".c", ".h", ".hpp")
HEADER_SUFFIXES = (".h", ".hpp")
# Folders whose code the function-length and parsing rules leave alone: tests, benchmarks and
# the meter's developer tools.
ASIDE = ("tests/", "bench/", "meter/tools/")
# Folders where a header may include a platform's or toolkit's headers.
PLATFORM_FOLDERS = {"portaudio", "fltk", "win32", "windows", "web"}
LIBRARY_HEADERS = {"sndfile.h", "fftw3.h"}
PARSER_FOLDER = "text/"

NUMBER_PARSER = re.compile(
    r"(?<![\w.>])(?:std\s*::\s*)?"
    r"(strto(?:d|f|ld|l|ll|ul|ull|imax|umax)|ato(?:i|l|ll|f)|"
    r"sto(?:i|l|ll|ul|ull|f|d|ld)|sscanf)\s*\(")
INCLUDE = re.compile(r'^[ \t]*#[ \t]*include[ \t]*[<"]([^>"]+)[>"]', re.M)


def is_platform_header(name):
    lower = name.lower()
    return (lower == "portaudio.h" or name.startswith("FL/") or lower == "windows.h" or
            lower == "emscripten.h" or lower.startswith("emscripten/"))


def blank(text):
    """The text with its newlines kept and everything else made spaces."""
    return "".join(c if c == "\n" else " " for c in text)


def raw_string_at(src, i):
    """Whether a raw string literal (R"x(...)x", maybe u8R, uR, UR, LR) starts at i."""
    if not src.startswith('R"', i):
        return False
    return re.search(r"\w*$", src[max(0, i - 8):i]).group(0) in ("", "u8", "u", "U", "L")


def strip_code(src):
    """The source with comments, string and character literals and preprocessor lines blanked
    (newlines kept, so that offsets and line numbers stay), leaving the code's braces alone."""
    out = []
    i, n = 0, len(src)
    line_start = True  # only blanks since the last newline
    while i < n:
        c = src[i]
        if c == "\n":
            out.append(c)
            i += 1
            line_start = True
            continue
        if line_start and c == "#":
            # A directive, with its continuation lines.
            j = i
            while True:
                k = src.find("\n", j)
                if k < 0:
                    k = n
                    break
                if src[k - 1] != "\\":
                    break
                j = k + 1
            out.append(blank(src[i:k]))
            i = k
            continue
        if not c.isspace():
            line_start = False
        if src.startswith("//", i):
            j = src.find("\n", i)
            j = n if j < 0 else j
            out.append(blank(src[i:j]))
            i = j
        elif src.startswith("/*", i):
            j = src.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(blank(src[i:j]))
            i = j
        elif raw_string_at(src, i):
            m = re.match(r'R"([^(\s]*)\(', src[i:])
            if not m:
                out.append(c)
                i += 1
                continue
            end = src.find(")" + m.group(1) + '"', i)
            end = n if end < 0 else end + len(m.group(1)) + 2
            out.append(blank(src[i:end]))
            i = end
        elif c == "'" and re.search(r"(?<![\w'])\d[\w']*$", src[max(0, i - 64):i]):
            out.append(c)  # a digit separator: 1'000'000
            i += 1
        elif c in "\"'":
            j = i + 1
            while j < n and src[j] != c and src[j] != "\n":
                j += 2 if src[j] == "\\" else 1
            out.append(c + blank(src[i + 1:j]) + c)
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


SCOPE_HEAD = re.compile(r"\b(namespace|class|struct|union|enum)\b[^()]*$")
EXTERN_C = re.compile(r'extern\s*"\s*"$')
ACCESS_LEAD = re.compile(r"(?:\s*(?:public|protected|private)\s*:(?!:))*\s*")
CONTROL_HEAD = re.compile(r"^(if|for|while|switch|catch|do|else|try)\b")


def function_name(head):
    before = re.sub(r"\s+", " ", head.split("(")[0]).strip()
    return before.split(" ")[-1] if before else "?"


def long_functions(src, limit):
    """(lines, first line, name) of each function of the stripped source over limit lines."""
    found = []
    stack = []  # (kind, start offset, head): kind is scope, func or other
    last = 0  # just after the last ; { or }
    for i, c in enumerate(src):
        if c == "{":
            head = src[last:i]
            # The signature starts after blanks and any public:, protected: or private: of a class.
            lead = ACCESS_LEAD.match(head)
            start = i - len(head) + lead.end()
            head_s = head[lead.end():].strip()
            kind = "other"
            if not any(k == "func" for k, _, _ in stack):
                if SCOPE_HEAD.search(head_s) or EXTERN_C.search(head_s):
                    kind = "scope"
                elif (")" in head_s and not CONTROL_HEAD.match(head_s) and
                      not head_s.endswith("=")):
                    kind = "func"
            stack.append((kind, start, head_s))
            last = i + 1
        elif c == "}":
            if stack:
                kind, start, head_s = stack.pop()
                if kind == "func":
                    first = src.count("\n", 0, start) + 1
                    lines = src.count("\n", start, i) + 1
                    if lines > limit:
                        found.append((lines, first, function_name(head_s)))
            last = i + 1
        elif c == ";":
            last = i + 1
    return found


def line_of(src, offset):
    return src.count("\n", 0, offset) + 1


def breaches_of(rel, text, limit):
    """(rule, name, line, message) of each breach in the file at rel (a /-separated path)."""
    found = []
    aside = rel.startswith(ASIDE)
    code = strip_code(text)
    if not aside:
        for lines, first, name in long_functions(code, limit):
            found.append(("long-function", name, first,
                          f"{name} is {lines} lines (at most {limit})"))
    if rel.endswith(HEADER_SUFFIXES):
        folders = set(rel.split("/")[:-1])
        for m in INCLUDE.finditer(text):
            header = m.group(1)
            where = line_of(text, m.start())
            if header in LIBRARY_HEADERS:
                found.append(("library-header", header, where,
                              f"header includes {header}: keep it in the .cpp files"))
            elif is_platform_header(header) and not folders & PLATFORM_FOLDERS:
                found.append(("platform-header", header, where,
                              f"header includes {header} outside a folder named " +
                              ", ".join(f"{f}/" for f in sorted(PLATFORM_FOLDERS))))
    if not aside and not rel.startswith(PARSER_FOLDER):
        for m in NUMBER_PARSER.finditer(code):
            call = m.group(1)
            found.append(("number-parser", call, line_of(code, m.start()),
                          f"{call} outside {PARSER_FOLDER}: read numbers with text/"))
    return found


def source_files(root):
    """Paths of the tree's sources relative to root, /-separated, build and hidden folders
    aside."""
    for folder, dirs, files in os.walk(root):
        top = folder == str(root)
        dirs[:] = sorted(d for d in dirs if not d.startswith(".") and
                         not (top and (d.startswith("build") or d == "dist")))
        for f in sorted(files):
            if f.endswith(SOURCE_SUFFIXES):
                yield Path(folder, f).relative_to(root).as_posix()


def read_exceptions(path):
    """[(rule, path, name or None, line number)] of the exceptions file (none if missing)."""
    entries = []
    if path is None or not path.exists():
        return entries
    for number, line in enumerate(path.read_text().splitlines(), 1):
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        parts = line.split()
        if len(parts) != 2:
            raise SystemExit(f"{path}:{number}: want `rule path[:name]`, got: {line}")
        where, _, name = parts[1].partition(":")
        entries.append((parts[0], where, name or None, number))
    return entries


def check(root, exceptions_path, limit):
    """The lines to print, one per breach not excepted and per exception matching nothing."""
    entries = read_exceptions(exceptions_path)
    used = set()
    report = []
    for rel in source_files(root):
        text = (root / rel).read_text(errors="replace")
        for rule, name, line, message in breaches_of(rel, text, limit):
            match = [e for e in entries if e[0] == rule and e[1] == rel and e[2] in (None, name)]
            if match:
                used.update(e[3] for e in match)
            else:
                report.append(f"{rel}:{line}: {rule}: {message}")
    for rule, where, name, number in entries:
        if number not in used:
            entry = f"{rule} {where}" + (f":{name}" if name else "")
            report.append(f"{exceptions_path}:{number}: stale exception, no such breach any more:"
                          f" {entry} (remove it)")
    return report


def main(argv=None):
    here = Path(__file__).resolve().parent
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--root", type=Path, default=here.parent, help="the tree (default: ours)")
    ap.add_argument("--exceptions", type=Path, default=None,
                    help="known breaches (default: ROOT/scripts/check_layout-exceptions.txt)")
    ap.add_argument("--max-lines", type=int, default=80, help="longest function allowed")
    a = ap.parse_args(argv)
    exceptions = a.exceptions or a.root / "scripts" / "check_layout-exceptions.txt"
    report = check(a.root.resolve(), exceptions, a.max_lines)
    for line in report:
        print(line)
    if report:
        print(f"check_layout: {len(report)} breach(es) of the layout rules "
              "(docs/developers.md, Layout rules)", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
