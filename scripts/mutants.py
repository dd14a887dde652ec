#!/usr/bin/python3
# Plants faults of the kinds developers make in our C++ code, one at a time in a scratch copy of
# the tree, and runs the tests of that code against each; the faults no test catches are
# printed with their diffs. How to use it and how long it takes: docs/mutants.md.
import argparse
import difflib
import fcntl
import hashlib
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

TREE = Path(__file__).resolve().parent.parent
MAP_FILE = "scripts/mutants-map.txt"  # folder prefix -> ctest labels
EQUIVALENT_FILE = "scripts/mutants-equivalent.txt"  # mutants that change nothing, and why
SOURCE_SUFFIXES = (".cpp", ".h")
# The scratch build: optimised as the developers' build is, without debug information (it
# only slows each rebuild down), and without the benchmarks (no test runs them).
CONFIGURE_ARGS = [
    "-G",
    "Ninja",
    "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG",
    "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON",
    "-DWOBBLEGEN_BUILD_BENCHMARKS=OFF",
]
OUTCOMES = ("caught", "survived", "equivalent", "stillborn", "timed out")
# A mutant's build and tests run as root in a mount namespace of their own where everything
# but /tmp and the scratch copy is read-only: a mutant that mistakes /dev/full for a file
# would otherwise rename its temporary file over the machine's device.
ISOLATION = """set -e
for d in /tmp "$1" "$2"; do mount --bind "$d" "$d"; done
mount -o remount,bind,ro /
mount -o remount,bind,ro /dev
shift 2
exec "$@"
"""

# ---------------------------------------------------------------------------------------------
# Tokens: enough of C++'s lexical rules to step over comments, string and character literals
# and preprocessor lines, and to tell where each token starts and whether space surrounds it.


@dataclass
class Token:
    kind: str  # ident, number, string, punct
    text: str
    start: int  # offsets into the file's text
    end: int
    spaced: bool = False  # white space on both sides (clang-format spaces binary operators)
    space_before: bool = False


PUNCTUATORS = sorted(
    "<=> <<= >>= ... ->* :: -> ++ -- << >> <= >= == != && || += -= *= /= %= &= |= ^= .* ##".split(),
    key=len,
    reverse=True,
)
IDENT = re.compile(r"[A-Za-z_]\w*")
PP_NUMBER = re.compile(r"\.?\d(?:[eEpP][+-]|'[0-9A-Za-z_]|[0-9A-Za-z_.])*")
RAW_STRING = re.compile(r'(?:u8|u|U|L)?R"([^()\\\s]{0,16})\(')
STRING_PREFIX = re.compile(r"(?:u8|u|U|L)?[\"']")
KEYWORDS = set(
    """alignas alignof and asm auto bool break case catch char char8_t char16_t char32_t class
    co_await co_return co_yield concept const consteval constexpr constinit const_cast continue
    decltype default delete do double dynamic_cast else enum explicit export extern false final
    float for friend goto if inline int long mutable namespace new noexcept not nullptr operator
    or override private protected public register reinterpret_cast requires return short signed
    sizeof static static_assert static_cast struct switch template this thread_local throw true
    try typedef typeid typename union unsigned using virtual void volatile wchar_t while""".split()
)
TYPE_KEYWORDS = set("auto bool char double float int long short signed unsigned void".split())
# Statements whose calls are compiled out of the developers' build, or are not calls.
NOT_DROPPED = {"assert", "static_assert"}


def lex(text):
    tokens = []
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if c == "\n":
            line_start = True
            i += 1
        elif c in " \t\r\f\v":
            i += 1
        elif c == "\\" and text.startswith("\n", i + 1):
            i += 2
        elif text.startswith("//", i):
            i = _line_end(text, i)
        elif text.startswith("/*", i):
            close = text.find("*/", i + 2)
            i = n if close < 0 else close + 2
        elif c == "#" and line_start:
            i = _line_end(text, i)  # a directive, continuation lines and all
        else:
            line_start = False
            i = _lex_token(text, i, tokens)
    for t in tokens:
        t.space_before = t.start == 0 or text[t.start - 1].isspace()
        t.spaced = t.space_before and (t.end == n or text[t.end].isspace())
    return tokens


def _line_end(text, i):
    while True:
        end = text.find("\n", i)
        if end < 0:
            return len(text)
        if text[end - 1] != "\\":
            return end
        i = end + 1


def _lex_token(text, i, tokens):
    raw = RAW_STRING.match(text, i)
    if raw:
        close = text.find(")" + raw.group(1) + '"', raw.end())
        end = len(text) if close < 0 else close + len(raw.group(1)) + 2
        tokens.append(Token("string", text[i:end], i, end))
        return end
    quoted = STRING_PREFIX.match(text, i)
    if quoted:
        quote, j = text[quoted.end() - 1], quoted.end()
        while j < len(text) and text[j] != quote and text[j] != "\n":
            j += 2 if text[j] == "\\" else 1
        end = min(j + 1, len(text))
        tokens.append(Token("string", text[i:end], i, end))
        return end
    for kind, pattern in (("number", PP_NUMBER), ("ident", IDENT)):
        m = pattern.match(text, i)
        if m:
            tokens.append(Token(kind, m.group(), i, m.end()))
            return m.end()
    for p in PUNCTUATORS:
        if text.startswith(p, i):
            tokens.append(Token("punct", p, i, i + len(p)))
            return i + len(p)
    tokens.append(Token("punct", text[i], i, i + 1))
    return i + 1


# ---------------------------------------------------------------------------------------------
# Mutants of one file's text.


@dataclass
class Mutant:
    path: str  # relative to the tree
    kind: str
    start: int  # the span of the original text replaced
    end: int
    replacement: str
    description: str
    line: int = 0
    key: str = ""  # stable over unrelated edits: the touched lines' text and the change
    outcome: str = ""
    seconds: float = 0.0
    build_seconds: float = 0.0
    failed_tests: list = field(default_factory=list)
    note: str = ""

    @property
    def id(self):
        return f"{self.path}:{self.key}"

    def apply(self, text):
        return text[: self.start] + self.replacement + text[self.end :]

    def diff(self, text):
        return "".join(
            difflib.unified_diff(
                text.splitlines(True),
                self.apply(text).splitlines(True),
                f"a/{self.path}",
                f"b/{self.path}",
                n=2,
            )
        )


class Source:
    """One file's tokens with what the mutators ask of them: partners of brackets, template
    argument lists, the brace each token sits in."""

    def __init__(self, text):
        self.text = text
        self.toks = lex(text)
        self.partner = {}
        self.enclosing = [None] * len(self.toks)  # index of the innermost open '{'
        self.innermost = [None] * len(self.toks)  # of the innermost open bracket of any kind
        stack, braces = [], []
        for i, t in enumerate(self.toks):
            self.enclosing[i] = braces[-1] if braces else None
            self.innermost[i] = stack[-1] if stack else None
            if t.text in ("(", "[", "{"):
                stack.append(i)
                if t.text == "{":
                    braces.append(i)
            elif t.text in (")", "]", "}") and stack:
                j = stack.pop()
                self.partner[i], self.partner[j] = j, i
                if t.text == "}" and braces:
                    braces.pop()
        self.templated = set()  # tokens inside template argument lists
        self.closers = set()  # the '>' ending those
        for i, t in enumerate(self.toks):
            if t.text == "<" and not t.spaced and i > 0:
                close = self._template_close(i)
                if close is not None:
                    self.templated.update(range(i, close + 1))
                    self.closers.add(close)
        self.frozen = set()  # tokens a change to would not compile or not matter
        for i, t in enumerate(self.toks):
            if t.text in ("static_assert", "alignas") and self.at(i + 1) == "(":
                self.frozen.update(range(i, self.partner.get(i + 1, i) + 1))
            elif t.text == "[" and self._is_array_size(i):
                self.frozen.update(range(i, self.partner.get(i, i) + 1))

    def at(self, i):
        return self.toks[i].text if 0 <= i < len(self.toks) else ""

    def _template_close(self, i):
        if self.at(i - 1) == "operator":
            return None
        depth, j = 1, i + 1
        while j < len(self.toks):
            t = self.toks[j].text
            if t in ("(", "[") and j in self.partner:
                j = self.partner[j]
            elif t == "<" and not self.toks[j].spaced:
                depth += 1
            elif t == ">":
                depth -= 1
            elif t == ">>":
                depth -= 2
            elif t in (";", "{", "}", ")", "]", "&&", "||", "?"):
                return None
            elif self.toks[j].spaced and self.toks[j].kind == "punct":
                return None
            if depth <= 0:
                return j
            j += 1
        return None

    def _is_array_size(self, i):
        # `T name[N]`: the brackets follow a name that follows a type.
        if i < 2 or self.toks[i - 1].kind != "ident":
            return False
        before = self.toks[i - 2]
        if before.kind == "ident":
            return before.text not in KEYWORDS or before.text in TYPE_KEYWORDS | {"const"}
        return i - 2 in self.closers or (before.text in ("*", "&") and not before.space_before)

    def in_code_block(self, i):
        """Whether token i sits directly in a block of statements (not in brackets, a class
        body, a namespace or an initialiser)."""
        brace = self.enclosing[i]
        if brace is None or self.innermost[i] != brace:
            return False
        while True:
            before = self.at(brace - 1)
            if before in (")", "else", "do", "try", "]", "mutable", "noexcept", "const", "override"):
                return True
            if before not in ("{", ";", "}", ":") or self.enclosing[brace] is None:
                return False
            brace = self.enclosing[brace]  # a nested block: code when the outer one is

    def line_of(self, offset):
        return self.text.count("\n", 0, offset) + 1

    def is_call(self, i):
        t = self.toks[i]
        return t.kind == "ident" and t.text not in KEYWORDS and self.at(i + 1) == "("

    def span_text(self, a, b):
        """The source text of tokens a..b inclusive."""
        return self.text[self.toks[a].start : self.toks[b].end]


def mutants_of(path, text):
    src = Source(text)
    found = []
    for mutator in (comparisons, logic, integers, floats, ignored_results, dropped_statements):
        found.extend(mutator(src, path))
    found.sort(key=lambda m: (m.start, m.kind, m.replacement))
    seen = {}
    for m in found:
        m.line = src.line_of(m.start)
        key = _stable_key(text, m)
        seen[key] = seen.get(key, 0) + 1
        m.key = key if seen[key] == 1 else f"{key}-{seen[key]}"
    return found


def _stable_key(text, m):
    first = text.rfind("\n", 0, m.start) + 1
    last = text.find("\n", m.end)
    last = len(text) if last < 0 else last
    before = " ".join(text[first:last].split())
    after = " ".join((text[first : m.start] + m.replacement + text[m.end : last]).split())
    return hashlib.sha1(f"{m.kind}\0{before}\0{after}".encode()).hexdigest()[:10]


BOUNDARY = {"<": "<=", "<=": "<", ">": ">=", ">=": ">"}
NEGATION = {"<": ">=", "<=": ">", ">": "<=", ">=": "<", "==": "!=", "!=": "=="}


def comparisons(src, path):
    for i, t in enumerate(src.toks):
        if t.text not in NEGATION or not t.spaced or i in src.frozen:
            continue
        if src.at(i - 1) in ("operator", "template"):
            continue
        for kind, table in (("boundary", BOUNDARY), ("comparison", NEGATION)):
            if t.text in table:
                new = table[t.text]
                yield Mutant(path, kind, t.start, t.end, new, f"`{t.text}` to `{new}`")


def logic(src, path):
    for i, t in enumerate(src.toks):
        # `T&& x` is a reference; the logical operators stand between spaces.
        if t.text in ("&&", "||") and t.spaced and i not in src.frozen:
            new = "||" if t.text == "&&" else "&&"
            yield Mutant(path, "logic", t.start, t.end, new, f"`{t.text}` to `{new}`")


# Integer literals with their suffix (std::chrono's among them: 5ms, 60s).
INTEGER = re.compile(
    r"(0[xX][0-9a-fA-F']+|0[bB][01']+|0[0-7']*|[1-9][0-9']*)([uUlLzZ]*|ms|s|us|ns|min|h)"
)


def integers(src, path):
    for i, t in enumerate(src.toks):
        m = INTEGER.fullmatch(t.text) if t.kind == "number" else None
        if not m or i in src.frozen or i in src.templated or _pure_virtual(src, i):
            continue
        digits, suffix = m.group(1).replace("'", ""), m.group(2)
        if digits[:2] in ("0x", "0X"):
            value = int(digits[2:], 16)
            form = digits[:2] + ("{:X}" if digits[2:].isupper() else "{:x}")
        elif digits[:2] in ("0b", "0B"):
            value, form = int(digits[2:], 2), digits[:2] + "{:b}"
        elif len(digits) > 1 and digits[0] == "0":
            value, form = int(digits, 8), "0{:o}"
        else:
            value, form = int(digits), "{}"
        for new in (value - 1, value + 1):
            if new >= 0:
                text = form.format(new) + suffix
                yield Mutant(path, "integer", t.start, t.end, text, f"{t.text} to {text}")


def _pure_virtual(src, i):
    # `virtual void f() const = 0;`
    return (
        src.at(i) == "0"
        and src.at(i - 1) == "="
        and src.at(i + 1) == ";"
        and src.at(i - 2) in (")", "const", "override", "noexcept")
    )


FLOAT_SUFFIX = re.compile(r"([fFlL]?)$")


def floats(src, path):
    for i, t in enumerate(src.toks):
        if t.kind != "number" or INTEGER.fullmatch(t.text) or i in src.frozen:
            continue
        if t.text[:2] in ("0x", "0X") or i in src.templated:
            continue
        suffix = FLOAT_SUFFIX.search(t.text).group(1)
        try:
            value = float(t.text[: len(t.text) - len(suffix)].replace("'", ""))
        except ValueError:
            continue
        if value == 0.0:
            continue
        for factor in (2.0, 0.5):
            text = repr(value * factor) + suffix
            yield Mutant(path, "float", t.start, t.end, text, f"{t.text} to {text} (x{factor:g})")


def _top_level_split(src, a, b, separator):
    """Splits tokens a..b (inclusive) at separators outside brackets: [(first, last), ...]."""
    parts, begin, i = [], a, a
    while i <= b:
        t = src.toks[i].text
        if t in ("(", "[", "{") and i in src.partner:
            i = src.partner[i]
        elif t == separator and src.toks[i].spaced:
            parts.append((begin, i - 1))
            begin = i + 1
        i += 1
    parts.append((begin, b))
    return parts


def _has_top_level(src, a, b, texts):
    i = a
    while i <= b:
        if src.at(i) in ("(", "[", "{") and i in src.partner:
            i = src.partner[i]
        elif src.at(i) in texts:
            return True
        i += 1
    return False


def _ignored(src, path, a, b, value):
    """The operand a..b with a call in it: still evaluated but its value replaced (a result
    ignored), and replaced outright (the call and its check dropped: a flush that never
    happens)."""
    if b < a or not any(src.is_call(i) for i in range(a, b + 1)):
        return []
    original = src.span_text(a, b)
    short = " ".join(original.split())
    if len(short) > 60:
        short = short[:57] + "..."
    start, end = src.toks[a].start, src.toks[b].end
    return [
        Mutant(
            path,
            "ignored",
            start,
            end,
            f"(static_cast<void>({original}), {value})",
            f"the result of `{short}` ignored (taken as {value})",
        ),
        Mutant(path, "dropped", start, end, value, f"`{short}` dropped (taken as {value})"),
    ]


def ignored_results(src, path):
    """An `if` whose check of a call's result never fires; in `ok = ok && Write(...)` or
    `return a && b(...)`, a call whose failure is taken for success. Each with the call kept
    and with the call dropped."""
    for i, t in enumerate(src.toks):
        if t.text == "if":
            open_ = i + 2 if src.at(i + 1) == "constexpr" else i + 1
            if src.at(open_) != "(" or open_ not in src.partner:
                continue
            a, b = open_ + 1, src.partner[open_] - 1
            init = [j for j in range(a, b + 1) if src.at(j) == ";" and src.innermost[j] == open_]
            if init:
                a = init[-1] + 1
            if _has_top_level(src, a, b, ("=", "?")):
                continue  # a declaration or an assignment as the condition
            for first, last in _top_level_split(src, a, b, "||"):
                yield from _ignored(src, path, first, last, "false")
        elif t.text in ("=", "return") and src.in_code_block(i):
            end = i + 1
            while end < len(src.toks) and src.at(end) not in (";", "{", "}"):
                if src.at(end) in ("(", "[") and end in src.partner:
                    end = src.partner[end]
                end += 1
            if src.at(end) != ";" or _has_top_level(src, i + 1, end - 1, ("||", "?", ",")):
                continue
            parts = _top_level_split(src, i + 1, end - 1, "&&")
            if len(parts) < 2:
                continue
            for first, last in parts:
                yield from _ignored(src, path, first, last, "true")


def _statement_start(src, i):
    """How a statement at token i may go: 'delete' in a block, 'empty' as the body of an
    if, else, for, while or do (it becomes `{}`), None when i starts no statement."""
    if i == 0:
        return "delete"
    prev = src.at(i - 1)
    if prev in (";", "{", "}"):
        return "delete"
    if prev == ":":
        j = i - 2
        while j >= 0 and src.at(j) not in (";", "{", "}", "?", "case", "default"):
            j -= 1
        return "delete" if j >= 0 and src.at(j) in ("case", "default") else None
    if prev in ("else", "do"):
        return "empty"
    if prev == ")" and i - 1 in src.partner:
        opener = src.partner[i - 1]
        head = src.at(opener - 1)
        if head == "constexpr":
            head = src.at(opener - 2)
        if head in ("if", "for", "while"):
            return "empty"
    return None


def _call_statement_end(src, i):
    """The index of the ';' ending `f(...);`, `a.b->c(...);`, `ns::f<T>(...);` from i."""
    j = i + 1 if src.at(i) == "::" else i
    t = src.toks[j] if j < len(src.toks) else None
    if t is None or t.kind != "ident" or (t.text in KEYWORDS and t.text != "this"):
        return None
    if t.text in NOT_DROPPED:
        return None
    j += 1
    called = False
    while j < len(src.toks):
        x = src.at(j)
        if x in ("::", ".", "->") and src.toks[j + 1].kind == "ident":
            j += 2
            called = False
        elif x in ("(", "[") and j in src.partner:
            called = x == "("
            j = src.partner[j] + 1
        elif x == "<" and j in src.templated:
            while j not in src.closers:
                j += 1
            j += 1
        elif x == ";":
            return j if called else None
        else:
            return None
    return None


def _in_error_path(src, i):
    """Whether the statement at i is the body of an if, an else or a catch, or sits in one."""
    if _statement_start(src, i) == "empty":
        return True
    brace = src.enclosing[i]
    if not brace:
        return False
    before = src.at(brace - 1)
    if before == "else":
        return True
    if before == ")" and brace - 1 in src.partner:
        return src.at(src.partner[brace - 1] - 1) in ("if", "catch", "constexpr")
    return False


def _drop(src, path, first, last, how, what):
    text = src.text
    start, end = src.toks[first].start, src.toks[last].end
    if how == "empty":
        return Mutant(path, "dropped", start, end, "{}", what)
    # The whole line goes when the statement stood alone on it.
    line_start = text.rfind("\n", 0, start) + 1
    line_end = text.find("\n", end)
    line_end = len(text) if line_end < 0 else line_end
    if not text[line_start:start].strip() and not text[end:line_end].strip():
        start, end = line_start, min(line_end + 1, len(text))
    return Mutant(path, "dropped", start, end, "", what)


def dropped_statements(src, path):
    """A call statement dropped (a flush, a reset, a cleanup); a `return` of an error path
    dropped, so that the code after it runs."""
    for i, t in enumerate(src.toks):
        if i in src.frozen or not src.in_code_block(i):
            continue
        how = _statement_start(src, i)
        if how is None:
            continue
        if t.text == "return" and _in_error_path(src, i):
            end = i
            while end < len(src.toks) and src.at(end) != ";":
                if src.at(end) in ("(", "[", "{") and end in src.partner:
                    end = src.partner[end]
                end += 1
            if end < len(src.toks):
                shown = " ".join(src.span_text(i, end).split())
                yield _drop(src, path, i, end, how, f"`{shown}` of an error path dropped")
            continue
        end = _call_statement_end(src, i)
        if end is not None:
            shown = " ".join(src.span_text(i, end).split())
            if len(shown) > 60:
                shown = shown[:57] + "..."
            yield _drop(src, path, i, end, how, f"`{shown}` dropped")


# ---------------------------------------------------------------------------------------------
# The tree: which files are mutated, which tests they answer to, which mutants are equivalent.


def read_map(tree):
    """[(prefix, [labels])], longest prefix first; labels [] for "-"."""
    entries = []
    for number, line in enumerate((tree / MAP_FILE).read_text().splitlines(), 1):
        words = line.split("#", 1)[0].split()
        if not words:
            continue
        if len(words) < 2:
            sys.exit(f"{MAP_FILE}:{number}: a path prefix and its labels (or -) expected")
        entries.append((words[0], [] if words[1:] == ["-"] else words[1:]))
    return sorted(entries, key=lambda e: len(e[0]), reverse=True)


def labels_of(path, folder_map):
    for prefix, labels in folder_map:
        if path.startswith(prefix):
            return labels
    return []


def read_equivalent(tree):
    """{mutant id: why it changes nothing a user can see}."""
    found = {}
    file = tree / EQUIVALENT_FILE
    if not file.exists():
        return found
    for number, line in enumerate(file.read_text().splitlines(), 1):
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        words = line.split(None, 1)
        if len(words) < 2 or ":" not in words[0]:
            sys.exit(f"{EQUIVALENT_FILE}:{number}: a mutant's id, then why it is equivalent")
        found[words[0]] = words[1].strip()
    return found


def tracked_files(tree):
    out = subprocess.run(
        ["git", "-C", str(tree), "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
        check=True,
        capture_output=True,
    ).stdout
    return sorted(p for p in out.decode().split("\0") if p and (tree / p).is_file())


def top_folder(path):
    return path.split("/", 1)[0] if "/" in path else "."


def weighted_sample(pools, lines, count, key):
    """count mutants across top-level folders in proportion to their lines of code, then at
    random within each; pools: {folder: [mutants]}, lines: {folder: lines}."""
    rng = random.Random(key)
    quota = {f: 0 for f in pools}
    left = count
    while left > 0:
        open_ = [f for f in pools if quota[f] < len(pools[f])]
        if not open_:
            break
        total = sum(lines[f] for f in open_)
        shares = {f: left * lines[f] / total for f in open_}
        given = 0
        # Whole parts first, then the largest remainders; a folder takes no more than it has.
        for f in open_:
            take = min(int(shares[f]), len(pools[f]) - quota[f])
            quota[f] += take
            given += take
        for f in sorted(open_, key=lambda f: shares[f] - int(shares[f]), reverse=True):
            if given >= left:
                break
            if quota[f] < len(pools[f]):
                quota[f] += 1
                given += 1
        if given == 0:
            break
        left -= given
    chosen = []
    for f in sorted(pools):
        chosen.extend(rng.sample(pools[f], quota[f]))
    return sorted(chosen, key=lambda m: (m.path, m.start, m.kind, m.replacement))


# ---------------------------------------------------------------------------------------------
# The scratch tree and its build.


class Scratch:
    def __init__(self, tree, root, build, jobs):
        self.tree, self.root, self.build, self.jobs = tree, root, build, jobs
        self.src = root / "src"
        self.root.mkdir(parents=True, exist_ok=True)
        self.home = root / "home"  # the tests' home: the real one is read-only to them
        self.home.mkdir(exist_ok=True)
        self.lock = open(root / "lock", "w")
        try:
            fcntl.flock(self.lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            sys.exit(f"another run uses {root}; wait for it or pass --scratch")

    def sync(self, files):
        """Copies the tree's files where they differ (a copy is newer than its objects, so the
        build takes it in) and removes those no longer there."""
        manifest = self.root / "files.txt"
        old = set(manifest.read_text().split("\n")) if manifest.exists() else set()
        for rel in files:
            source, target = self.tree / rel, self.src / rel
            data = source.read_bytes()
            if not target.exists() or target.read_bytes() != data:
                target.parent.mkdir(parents=True, exist_ok=True)
                target.write_bytes(data)
                shutil.copymode(source, target)
        for rel in old - set(files) - {""}:
            (self.src / rel).unlink(missing_ok=True)
        manifest.write_text("\n".join(files))

    def configure(self):
        if (self.build / "build.ninja").exists():
            return
        run_or_exit(["cmake", "-S", str(self.src), "-B", str(self.build)] + CONFIGURE_ARGS)

    def isolated(self, command):
        if os.geteuid() != 0:
            return command  # without root, a mutant cannot harm the system
        self.build.mkdir(parents=True, exist_ok=True)
        return [
            "unshare", "--mount", "--propagation", "private", "sh", "-c", ISOLATION, "sh",
            str(self.root), str(self.build), "env", f"HOME={self.home}",
        ] + command

    def check_isolation(self):
        status, output = run(self.isolated(["true"]))
        if status != 0:
            sys.exit("cannot run the tests in a read-only view of the system (unshare, mount: "
                     f"root with CAP_SYS_ADMIN): {output.strip()}; run as an ordinary user")

    def ninja(self, targets, deadline=None):
        """(status, output); status None when the deadline passed."""
        command = ["ninja", "-C", str(self.build), "-j", str(self.jobs)] + targets
        return run(self.isolated(command), deadline)

    def built_sources(self):
        """The files of the tree the build compiles: sources and the headers they include."""
        built = set()
        commands = json.loads((self.build / "compile_commands.json").read_text())
        for c in commands:
            built.add(Path(c["file"]))
        deps = run_or_exit(["ninja", "-C", str(self.build), "-t", "deps"])
        for line in deps.splitlines():
            if line.startswith("    "):
                built.add(Path(os.path.normpath(self.build / line.strip())))
        src = str(self.src.resolve()) + "/"
        return {str(p.resolve())[len(src) :] for p in built if str(p.resolve()).startswith(src)}

    def tests(self, labels):
        """The ctest names and the build outputs they run, for tests with any of labels."""
        out = run_or_exit(
            ["ctest", "--test-dir", str(self.build), "--show-only=json-v1", "-L", label_regex(labels)]
        )
        known = set(run_or_exit(["ninja", "-C", str(self.build), "-t", "targets", "all"]).split())
        known = {k.rstrip(":") for k in known}
        names, targets = [], set()
        build = str(self.build.resolve())
        for test in json.loads(out)["tests"]:
            names.append(test["name"])
            for arg in test.get("command", []):
                if arg.rstrip("/") == build:
                    targets.add("all")  # the install tests take the whole build
                elif arg.startswith(build + "/") and arg[len(build) + 1 :] in known:
                    targets.add(arg[len(build) + 1 :])
        return names, ["all"] if "all" in targets else sorted(targets)

    def baseline(self, labels):
        """The unchanged tests with any of labels: {name: seconds}, and the names of those
        that fail."""
        command = ["ctest", "--test-dir", str(self.build), "-j", str(self.jobs)]
        status, output = run(self.isolated(command + ["-L", label_regex(labels)]))
        times = {
            m.group(1): float(m.group(2))
            for m in re.finditer(r"Test +#\d+: (\S+) .*?([\d.]+) sec$", output, re.M)
        }
        return times, _failed_tests(output) if status else []

    def ctest(self, labels, exclude, deadline, stop_on_failure=True):
        """(status, failed test names); status None when the deadline passed."""
        command = ["ctest", "--test-dir", str(self.build), "-j", str(self.jobs), "--no-tests=error"]
        if labels is not None:
            command += ["-L", label_regex(labels)]
        if exclude:
            command += ["-E", "^(" + "|".join(re.escape(e) for e in exclude) + ")$"]
        if stop_on_failure:
            command.append("--stop-on-failure")
        status, output = run(self.isolated(command), deadline)
        return status, _failed_tests(output) if status else []


def _failed_tests(output):
    return re.findall(r"^\s*\d+ - (\S+) \(", output.split("The following tests FAILED:")[-1], re.M)


def label_regex(labels):
    return "^(" + "|".join(re.escape(x) for x in labels) + ")$"


def run(command, deadline=None):
    """Runs command in a process group of its own; (status, output), status None when it was
    still running at the deadline (then the group is ended)."""
    process = subprocess.Popen(
        command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, start_new_session=True
    )
    try:
        timeout = None if deadline is None else max(0.0, deadline - time.monotonic())
        out, _ = process.communicate(timeout=timeout)
        return process.returncode, out.decode(errors="replace")
    except subprocess.TimeoutExpired:
        _end_group(process)
        return None, ""
    except BaseException:
        _end_group(process)
        raise


def _end_group(process):
    # The test scripts stop their daemons on SIGTERM; whatever is left then gets SIGKILL.
    for sig, grace in ((signal.SIGTERM, 10), (signal.SIGKILL, 5)):
        try:
            os.killpg(process.pid, sig)
        except ProcessLookupError:
            return
        try:
            process.communicate(timeout=grace)
            return
        except subprocess.TimeoutExpired:
            continue


def run_or_exit(command):
    status, output = run(command)
    if status != 0:
        sys.exit(f"{' '.join(command)} failed:\n{output[-4000:]}")
    return output


def compile_failed(output):
    return any(
        line.startswith("FAILED: ") and line.split()[1].endswith(".o")
        for line in output.splitlines()
        if len(line.split()) > 1
    )


# ---------------------------------------------------------------------------------------------
# A run.


def parse_args(argv):
    p = argparse.ArgumentParser(
        description="Plants faults in our C++ code one at a time and runs the tests of that "
        "code against each; prints those no test catches. See docs/mutants.md."
    )
    p.add_argument("paths", nargs="*", help="files or folders to mutate (default: the tree)")
    p.add_argument("--count", type=int, help="a sample of this many mutants (default: all)")
    p.add_argument(
        "--mutant", action="append", default=[], metavar="ID",
        help="only this mutant (an id as a run prints it; repeatable)",
    )
    p.add_argument("--sample-key", help="draws the same sample again (printed by each run)")
    p.add_argument("--jobs", type=int, default=os.cpu_count(), help="build and test jobs")
    p.add_argument(
        "--timeout", type=float, help="seconds for one mutant's build and tests "
        "(default: 300 plus five times the unchanged tests' time)"
    )
    p.add_argument("--scratch", type=Path, help="the scratch copy (default: under /tmp)")
    p.add_argument("--build-dir", type=Path, help="its build (default: SCRATCH/build)")
    p.add_argument("--json", type=Path, help="results as JSON (default: SCRATCH/mutants.json)")
    p.add_argument("--list", action="store_true", help="list the mutants, build nothing")
    p.add_argument(
        "--whole-suite", action="store_true",
        help="run every test against a survivor of its own folder's tests",
    )
    p.add_argument("--tree", type=Path, default=TREE, help=argparse.SUPPRESS)
    return p.parse_args(argv)


def choose_files(args, files, folder_map):
    chosen = []
    for given in args.paths or [""]:
        # Relative to the working directory, or else to the tree.
        place = Path(given) if Path(given).exists() else args.tree / given
        rel = os.path.relpath(place.resolve(), args.tree) if given else ""
        rel = "" if rel == "." else rel
        if rel.startswith(".."):
            sys.exit(f"{given} is not in {args.tree}")
        matched = [f for f in files if f == rel or f.startswith(rel + "/" if rel else "")]
        matched = [f for f in matched if f.endswith(SOURCE_SUFFIXES)]
        if not matched:
            sys.exit(f"no C++ file of ours at {given}")
        if rel in files and not labels_of(rel, folder_map):
            sys.exit(f"{given}: no tests mapped to it in {MAP_FILE}")
        chosen.extend(f for f in matched if labels_of(f, folder_map))
    return sorted(set(chosen))


def main(argv=None):
    args = parse_args(argv)
    args.tree = tree = args.tree.resolve()
    if args.mutant and not args.paths:
        args.paths = sorted({i.rsplit(":", 1)[0] for i in args.mutant})
    folder_map = read_map(tree)
    equivalent = read_equivalent(tree)
    files = tracked_files(tree)
    sources = choose_files(args, files, folder_map)
    texts = {f: (tree / f).read_text() for f in sources}
    if args.list:
        for f in sources:
            for m in mutants_of(f, texts[f]):
                mark = "  (equivalent)" if m.id in equivalent else ""
                print(f"{m.id}  {f}:{m.line}  {m.kind}: {m.description}{mark}")
        return 0

    tag = hashlib.sha1(str(tree).encode()).hexdigest()[:8]
    root = (args.scratch or Path(f"/tmp/wobblegen-mutants-{tag}")).resolve()
    scratch = Scratch(tree, root, (args.build_dir or root / "build").resolve(), args.jobs)
    started = time.monotonic()
    print(f"scratch copy {scratch.src}, build {scratch.build}; building the unchanged tree", flush=True)
    scratch.check_isolation()
    scratch.sync(files)
    scratch.configure()
    status, output = scratch.ninja([])
    if status != 0:
        sys.exit(f"the unchanged tree does not build:\n{output[-4000:]}")
    built = scratch.built_sources()
    not_built = [f for f in sources if f not in built]
    if not_built:
        print("not compiled in this build, left out: " + " ".join(not_built))
    sources = [f for f in sources if f in built]
    chosen, key = choose_mutants(args, sources, texts, equivalent)
    plans = plan_tests(scratch, chosen, folder_map, args)

    try:
        for n, m in enumerate(chosen, 1):
            where = f"[{n}/{len(chosen)}] {m.path}:{m.line} {m.kind}: {m.description}"
            if m.id in equivalent:
                m.outcome, m.note = "equivalent", equivalent[m.id]
            else:
                run_mutant(scratch, m, texts[m.path], plans[tuple(labels_of(m.path, folder_map))], args)
            print(f"{where}: {m.outcome} ({m.seconds:.0f} s){' ' + m.note if m.note else ''}", flush=True)
            if m.outcome == "survived":
                print(f"  survivor {m.id}\n" + _indent(m.diff(texts[m.path])), flush=True)
    finally:
        for f in {m.path for m in chosen}:
            (scratch.src / f).write_text(texts[f])

    elapsed = time.monotonic() - started
    table = summary(chosen)
    print_summary(table, chosen, elapsed)
    json_path = args.json or root / "mutants.json"
    write_result(json_path, args, key if args.count is not None else None, elapsed, table, chosen, texts)
    print(f"results in {json_path}")
    return 0


def choose_mutants(args, sources, texts, equivalent):
    """The mutants to run, and the sample's key."""
    pool = [m for f in sources for m in mutants_of(f, texts[f])]
    if args.mutant:
        unknown = set(args.mutant) - {m.id for m in pool}
        if unknown:
            sys.exit("no such mutant: " + " ".join(sorted(unknown)))
        pool = [m for m in pool if m.id in args.mutant]
    else:
        ids = {m.id for m in pool}
        for stale in sorted(i for i in equivalent if i.rsplit(":", 1)[0] in sources and i not in ids):
            print(f"{EQUIVALENT_FILE}: {stale} is no longer a mutant of the code")
    key = args.sample_key or os.urandom(4).hex()
    if args.count is None or args.count >= len(pool):
        print(f"{len(pool)} mutants")
        return pool, key
    # Each top-level folder in proportion to its lines of code.
    pools, lines = {}, {}
    for f in sources:
        pools.setdefault(top_folder(f), [])
        lines[top_folder(f)] = lines.get(top_folder(f), 0) + sum(
            1 for x in texts[f].splitlines() if x.strip()
        )
    for m in pool:
        pools[top_folder(m.path)].append(m)
    chosen = weighted_sample(pools, lines, args.count, key)
    print(f"{len(chosen)} of {len(pool)} mutants, sample key {key} (--sample-key {key} draws it again)")
    return chosen, key


def plan_tests(scratch, chosen, folder_map, args):
    """For each set of labels the mutants need: the build targets its tests run, the tests
    that fail unchanged (left out), and the time a mutant is given."""
    sets = sorted({tuple(labels_of(m.path, folder_map)) for m in chosen})
    every = sorted({label for labels in sets for label in labels})
    if not every:
        return {}
    print(f"running the unchanged tests labelled {' '.join(every)}", flush=True)
    times, failing = scratch.baseline(every)
    if failing:
        print(f"failing without a mutant, left out: {' '.join(failing)}")
    plans = {}
    for labels in sets:
        names, targets = scratch.tests(list(labels))
        spent = sum(times.get(n, 0.0) for n in names) / max(1, args.jobs)
        timeout = args.timeout or 300 + 5 * spent
        plans[labels] = {
            "labels": list(labels),
            "targets": targets,
            "exclude": [f for f in failing if f in names],
            "timeout": timeout,
        }
        print(
            f"tests labelled {' '.join(labels)}: {len(names)}, {spent:.0f} s unchanged; "
            f"{timeout:.0f} s for each mutant",
            flush=True,
        )
    return plans


def write_result(path, args, key, elapsed, table, chosen, texts):
    commit = subprocess.run(
        ["git", "-C", str(args.tree), "rev-parse", "HEAD"], capture_output=True, text=True
    ).stdout.strip()
    result = {
        "tree": str(args.tree),
        "commit": commit,
        "sample_key": key,
        "seconds": round(elapsed, 1),
        "folders": table,
        "mutants": [
            {
                "id": m.id,
                "file": m.path,
                "line": m.line,
                "kind": m.kind,
                "description": m.description,
                "outcome": m.outcome,
                "seconds": round(m.seconds, 1),
                "build_seconds": round(m.build_seconds, 1),
                "failed_tests": m.failed_tests,
                "note": m.note,
                "diff": m.diff(texts[m.path]),
            }
            for m in chosen
        ],
    }
    path.write_text(json.dumps(result, indent=1) + "\n")


def run_mutant(scratch, m, text, plan, args):
    t0 = time.monotonic()
    deadline = t0 + plan["timeout"]
    target = scratch.src / m.path
    target.write_text(m.apply(text))
    try:
        status, output = scratch.ninja(plan["targets"], deadline)
        m.build_seconds = time.monotonic() - t0
        if status is None:
            m.outcome, m.note = "timed out", "(in the build: a longer --timeout may be needed)"
        elif status != 0 and compile_failed(output):
            m.outcome = "stillborn"
        elif status != 0:
            m.outcome, m.note = "caught", "(the build failed after compiling: link or test list)"
        else:
            status, m.failed_tests = scratch.ctest(plan["labels"], plan["exclude"], deadline)
            m.outcome = "timed out" if status is None else "caught" if status else "survived"
            if m.outcome == "survived" and args.whole_suite:
                status, output = scratch.ninja(["all"], deadline)
                if status == 0:
                    status, m.failed_tests = scratch.ctest(None, plan["exclude"], deadline)
                    if status:
                        m.outcome, m.note = "caught", "(by tests outside its folder's)"
    finally:
        target.write_text(text)
        m.seconds = time.monotonic() - t0


def _indent(text):
    return "".join("    " + line for line in text.splitlines(True))


def summary(mutants):
    table = {}
    for m in mutants:
        for folder in (top_folder(m.path), "all"):
            row = table.setdefault(folder, {"mutants": 0, **{o: 0 for o in OUTCOMES}})
            row["mutants"] += 1
            row[m.outcome] += 1
    for row in table.values():
        # A fault that makes the tests hang is caught by their time limits.
        judged = row["caught"] + row["survived"] + row["timed out"]
        row["caught %"] = round(100 * (row["caught"] + row["timed out"]) / judged) if judged else None
    return table


def print_summary(table, mutants, elapsed):
    header = ["folder", "mutants", *OUTCOMES, "caught %"]
    rows = [header] + [
        [folder] + [str(row[h]) if row[h] is not None else "-" for h in header[1:]]
        for folder, row in sorted(table.items(), key=lambda x: (x[0] == "all", x[0]))
    ]
    widths = [max(len(r[i]) for r in rows) for i in range(len(header))]
    print()
    for r in rows:
        print("  ".join(c.ljust(w) if i == 0 else c.rjust(w) for i, (c, w) in enumerate(zip(r, widths))))
    run_ = [m.seconds for m in mutants if m.outcome != "equivalent"]
    if run_:
        print(f"\n{elapsed / 60:.1f} min in all, {sum(run_) / len(run_):.0f} s a mutant")
    survivors = [m for m in mutants if m.outcome == "survived"]
    if survivors:
        print(f"\nsurvivors (catch each with a test, or list it in {EQUIVALENT_FILE} with why):")
        for m in survivors:
            print(f"  {m.id}  {m.path}:{m.line} {m.kind}: {m.description}")


if __name__ == "__main__":
    sys.exit(main())
