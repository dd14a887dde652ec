#!/usr/bin/python3
# Tests of scripts/mutants.py: the mutants each kind of fault gives and what it leaves alone,
# ids that survive unrelated edits, the sample's shares, and a run over a small project of its
# own that sorts mutants into caught, survived, equivalent, stillborn and timed out.
import importlib.util
import json
import subprocess
import sys
import tempfile
import textwrap
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
SCRIPT = HERE.parent.parent / "scripts" / "mutants.py"
spec = importlib.util.spec_from_file_location("mutants", SCRIPT)
mutants = importlib.util.module_from_spec(spec)
spec.loader.exec_module(mutants)


def changed_lines(path, text):
    """{(kind, line as the mutant leaves it, stripped)}; a removed line reads "<gone>"."""
    found = set()
    for m in mutants.mutants_of(path, text):
        lines = m.apply(text).splitlines()
        original = text.splitlines()
        if len(lines) < len(original):
            found.add((m.kind, "<gone>", original[m.line - 1].strip()))
        else:
            found.add((m.kind, lines[m.line - 1].strip()))
    return found


class Mutators(unittest.TestCase):
    text = (HERE / "mutants_fixture.cpp").read_text()

    def test_each_kind_plants_its_fault(self):
        got = changed_lines("x/f.cpp", self.text)
        expected = {
            ("integer", "constexpr int kBlock = 1023;"),
            ("integer", "constexpr int kBlock = 1025;"),
            ("integer", "constexpr unsigned kFlags = 0xFE;"),
            ("integer", "constexpr unsigned kFlags = 0x100;"),
            ("float", "constexpr double kGain = 1.0;"),
            ("float", "constexpr double kGain = 0.25;"),
            ("boundary", "if (count <= kBlock && open) log.reset();"),
            ("comparison", "if (count >= kBlock && open) log.reset();"),
            ("logic", "if (count < kBlock || open) log.reset();"),
            ("dropped", "if (count < kBlock && open) {}"),
            ("ignored", "if ((static_cast<void>(std::fflush(file) != 0), false)) return false;"),
            ("dropped", "if (false) return false;"),
            ("comparison", "if (std::fflush(file) == 0) return false;"),
            ("dropped", "if (std::fflush(file) != 0) {}"),
            ("comparison", "if (count != 0) {"),
            ("integer", "if (count == 1) {"),
            ("dropped", "<gone>", "std::fclose(file);"),
            ("dropped", "<gone>", "return true;"),
            ("ignored", "ok = ok && (static_cast<void>(std::fputc('x', file) >= 0), true);"),
            ("dropped", "ok = ok && true;"),
            ("boundary", "ok = ok && std::fputc('x', file) > 0;"),
            ("logic", "ok = ok || std::fputc('x', file) >= 0;"),
            ("boundary", "for (int i = 0; i <= count; ++i) std::fputc('y', file);"),
            ("integer", "for (int i = 1; i < count; ++i) std::fputc('y', file);"),
            ("dropped", "for (int i = 0; i < count; ++i) {}"),
            ("logic", "return ok && kGain > 2.5f;"),
            ("boundary", "return ok || kGain >= 2.5f;"),
            ("float", "return ok || kGain > 5.0f;"),
            ("float", "return ok || kGain > 1.25f;"),
        }
        self.assertEqual(expected - got, set())

    def test_comments_strings_directives_sizes_and_declarations_are_left_alone(self):
        lines = self.text.splitlines()
        untouched = {n for n, line in enumerate(lines, 1) if line.endswith("// none")}
        untouched.add(next(n for n, line in enumerate(lines, 1) if "// if (count" in line))
        touched = {m.line for m in mutants.mutants_of("x/f.cpp", self.text)}
        self.assertEqual(touched & untouched, set())
        # Zero is never scaled, nor pulled below zero; a return value is not dropped in `||`.
        got = changed_lines("x/f.cpp", self.text)
        self.assertNotIn(("integer", "if (count == -1) {"), got)
        self.assertFalse(any(k == "ignored" and line.startswith("return") for k, line, *_ in got))

    def test_ids_follow_the_line_not_its_number(self):
        before = {m.id: m.description for m in mutants.mutants_of("x/f.cpp", self.text)}
        moved = self.text.replace("#include <cstdio>\n", "#include <cstdio>\n#include <cmath>\n\n")
        after = {m.id: m.description for m in mutants.mutants_of("x/f.cpp", moved)}
        self.assertEqual(before, after)
        edited = self.text.replace("kBlock = 1024", "kBlock = 512")
        ids = {m.id for m in mutants.mutants_of("x/f.cpp", edited)}
        self.assertEqual(len(set(before) - ids), 2)  # the two of that line only


class Sample(unittest.TestCase):
    @staticmethod
    def draw(sizes, lines, count, key="k"):
        pools = {
            f: [mutants.Mutant(f"{f}/x.cpp", "integer", i, i, "", "") for i in range(n)]
            for f, n in sizes.items()
        }
        return mutants.weighted_sample(pools, lines, count, key)

    def test_folders_share_by_their_lines_up_to_what_they_have(self):
        picked = self.draw({"a": 100, "b": 100}, {"a": 300, "b": 100}, 8)
        self.assertEqual(sum(m.path.startswith("a/") for m in picked), 6)
        capped = self.draw({"a": 1, "b": 100}, {"a": 900, "b": 100}, 10)
        self.assertEqual(sum(m.path.startswith("a/") for m in capped), 1)
        self.assertEqual(len(capped), 10)

    def test_a_key_draws_the_same_sample_again(self):
        first = [m.start for m in self.draw({"a": 100}, {"a": 1}, 5, "one")]
        self.assertEqual(first, [m.start for m in self.draw({"a": 100}, {"a": 1}, 5, "one")])
        self.assertNotEqual(first, [m.start for m in self.draw({"a": 100}, {"a": 1}, 5, "two")])


class Run(unittest.TestCase):
    """The whole run over a small project: its own git tree, map, equivalents and test."""

    FILES = {
        "CMakeLists.txt": """\
            cmake_minimum_required(VERSION 3.25)
            project(tiny CXX)
            enable_testing()
            add_library(tiny STATIC lib/tiny.cpp)
            add_executable(tiny_test test/tiny_test.cpp)
            target_link_libraries(tiny_test tiny)
            add_test(NAME TinyTest COMMAND tiny_test)
            set_tests_properties(TinyTest PROPERTIES LABELS core)
            """,
        "lib/tiny.cpp": """\
            int Clip(int x, int limit) {
                if (x > limit) return limit;
                return x;
            }

            int Halvings(int n) {
                int count = 0;
                while (n > 1) {
                    n /= 2;
                    count += 1;
                }
                return count;
            }

            int Code(int kind) {
                switch (kind) {
                    case 1:
                        return 10;
                    case 2:
                        return 20;
                }
                return 0;
            }
            """,
        # The test also fails where it could write to /usr: a mutant's tests see the system
        # read-only.
        "test/tiny_test.cpp": """\
            #include <unistd.h>
            int Clip(int, int);
            int Halvings(int);
            int main() {
                const bool ok = Clip(7, 5) == 5 && Clip(3, 5) == 3 && Halvings(8) == 3;
                return ok && ::access("/usr", W_OK) != 0 ? 0 : 1;
            }
            """,
        "scripts/mutants-map.txt": "lib/ core\n",
    }

    def test_mutants_are_caught_survive_are_skipped_stillborn_or_time_out(self):
        with tempfile.TemporaryDirectory() as tmp:
            tree = Path(tmp) / "tree"
            for name, body in self.FILES.items():
                (tree / name).parent.mkdir(parents=True, exist_ok=True)
                (tree / name).write_text(textwrap.dedent(body))
            text = (tree / "lib/tiny.cpp").read_text()
            by_change = {(m.line, m.description): m.id for m in mutants.mutants_of("lib/tiny.cpp", text)}
            wanted = {
                by_change[(2, "`>` to `>=`")]: "equivalent",
                by_change[(2, "`>` to `<=`")]: "caught",
                by_change[(9, "2 to 1")]: "timed out",  # n /= 1 never ends
                by_change[(17, "1 to 2")]: "stillborn",  # two labels `case 2`
                by_change[(18, "10 to 11")]: "survived",  # no test asks for Code
            }
            equivalent = next(i for i, o in wanted.items() if o == "equivalent")
            (tree / "scripts/mutants-equivalent.txt").write_text(
                f"# Clip(5, 5) is 5 either way.\n{equivalent}  the limit itself is returned\n"
            )
            subprocess.run(["git", "init", "-q", str(tree)], check=True)
            subprocess.run(["git", "-C", str(tree), "add", "."], check=True)
            result = Path(tmp) / "result.json"
            args = [sys.executable, str(SCRIPT), "--tree", str(tree), "--scratch", str(Path(tmp) / "s"),
                    "--jobs", "1", "--timeout", "15", "--json", str(result)]
            for i in wanted:
                args += ["--mutant", i]
            run = subprocess.run(args, capture_output=True, text=True, timeout=240)
            self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
            got = {m["id"]: m["outcome"] for m in json.loads(result.read_text())["mutants"]}
            self.assertEqual(got, wanted)
            self.assertIn("-            return 10;\n    +            return 11;", run.stdout)
            table = json.loads(result.read_text())["folders"]["lib"]
            self.assertEqual([table[o] for o in mutants.OUTCOMES], [1, 1, 1, 1, 1])
            # The tree itself is never changed.
            self.assertEqual((tree / "lib/tiny.cpp").read_text(), text)


if __name__ == "__main__":
    unittest.main(verbosity=2)
