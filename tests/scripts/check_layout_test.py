#!/usr/bin/python3
# Tests of scripts/check_layout.py over small trees of its own: each rule's breach reported by
# file, line and name, what each rule leaves alone, the exceptions file, and a clean tree passing.
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
SCRIPT = HERE.parent.parent / "scripts" / "check_layout.py"
sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
sys.path.insert(0, str(SCRIPT.parent))
import check_layout  # noqa: E402


def function(name, lines, body_line="    total += 1;"):
    """A function `name` of exactly `lines` lines, signature to closing brace."""
    return "\n".join([f"int {name}(int total) {{"] + [body_line] * (lines - 3) +
                     ["    return total;", "}"]) + "\n"


class Tree:
    """A source tree in a temporary folder, its files given as {path: text}."""

    def __init__(self, files, exceptions=None):
        self.dir = tempfile.TemporaryDirectory()
        self.root = Path(self.dir.name)
        for path, text in files.items():
            (self.root / path).parent.mkdir(parents=True, exist_ok=True)
            (self.root / path).write_text(text)
        if exceptions is not None:
            (self.root / "scripts").mkdir(exist_ok=True)
            (self.root / "scripts" / "check_layout-exceptions.txt").write_text(exceptions)

    def report(self):
        return check_layout.check(self.root, self.root / "scripts" / "check_layout-exceptions.txt",
                                  80)

    def run(self):
        return subprocess.run([sys.executable, str(SCRIPT), "--root", str(self.root)],
                              capture_output=True, text=True)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.dir.cleanup()


CLEAN = {
    "synth/tone.cpp": function("Tone", 80) + '#include <sndfile.h>\n',
    "synth/tone.h": "#pragma once\n#include <vector>\nint Tone(int total);\n",
    "text/decimal.cpp": "double Read(const char* t) { return std::strtod(t, nullptr); }\n",
    "meter/capture/portaudio/stream.h": "#pragma once\n#include <portaudio.h>\n",
    "meterwin/fltk/frame.h": "#pragma once\n#include <FL/Fl_Window.H>\n",
    "afx/win32/window.h": "#pragma once\n#include <windows.h>\n",
    "ui/web/page.h": "#pragma once\n#include <emscripten/html5.h>\n",
    "tests/long_test.cpp": function("LongTest", 200) + "int n = std::stoi(\"4\");\n",
    "bench/speed.cpp": function("Bench", 120),
    "meter/tools/dump.cpp": function("Dump", 90) + "int k = atoi(\"1\");\n",
    "build-x/gen.h": "#include <sndfile.h>\n" + function("Generated", 300),
}


class CleanTree(unittest.TestCase):
    def test_passes_with_status_0(self):
        with Tree(CLEAN) as tree:
            done = tree.run()
            self.assertEqual((done.returncode, done.stdout), (0, ""))


class LongFunction(unittest.TestCase):
    def test_81_lines_reported_by_line_and_name_with_status_1(self):
        files = dict(CLEAN)
        files["wave/header.cpp"] = "// What it is.\n\n" + function("Header", 81)
        with Tree(files) as tree:
            done = tree.run()
            self.assertEqual(done.returncode, 1)
            self.assertEqual(done.stdout, "wave/header.cpp:3: long-function: Header is 81 lines "
                             "(at most 80)\n")

    def test_braces_in_text_comments_and_directives_do_not_count(self):
        noise = ('    s = "}}}"; c = \'}\'; r = R"x(" } ")x"; n = 1\'000;  // }\n'
                 "    /* } */\n"
                 "#define CLOSE }\n")
        with Tree({"a/f.cpp": function("Noisy", 81, noise.rstrip("\n"))}) as tree:
            self.assertEqual(len(tree.report()), 1)
            self.assertIn("Noisy is 237 lines", tree.report()[0])
        with Tree({"a/f.cpp": function("Quiet", 80, '    s = "{";')}) as tree:
            self.assertEqual(tree.report(), [])

    def test_members_in_a_class_are_measured_and_lambdas_belong_to_their_function(self):
        lambda_body = "    auto f = [](int x) {\n" + "        x += 1;\n" * 84 + "    };"
        text = ("namespace w {\nclass Box {\npublic:\n" + function("Fill", 90) +
                "};\n" + function("Outer", 4, lambda_body) + "}\n")
        with Tree({"a/box.h": text}) as tree:
            self.assertEqual([line.split(" (")[0] for line in tree.report()], [
                "a/box.h:4: long-function: Fill is 90 lines",
                "a/box.h:95: long-function: Outer is 89 lines"])


class Headers(unittest.TestCase):
    def test_library_headers_leaking_from_our_headers_are_named(self):
        files = {"meter/audio/file.h": "#pragma once\n#include <sndfile.h>\n",
                 "meter/dsp/fft.hpp": '#include "fftw3.h"\n',
                 "meter/dsp/fft.cpp": "#include <fftw3.h>\n"}
        with Tree(files) as tree:
            self.assertEqual(tree.report(), [
                "meter/audio/file.h:2: library-header: header includes sndfile.h: keep it in "
                "the .cpp files",
                "meter/dsp/fft.hpp:1: library-header: header includes fftw3.h: keep it in "
                "the .cpp files"])

    def test_platform_headers_outside_their_folders_are_named(self):
        files = {"meterwin/frame.h": "#include <FL/Fl.H>\n",
                 "sys/files.h": "#  include <Windows.h>\n",
                 "ui/page.h": "#include <emscripten.h>\n",
                 "meter/capture/stream.h": "#include <portaudio.h>\n",
                 "meter/capture/stream.cpp": "#include <portaudio.h>\n",
                 "meterwin/note.h": "// #include <FL/Fl.H> is for fltk/ only\n"}
        with Tree(files) as tree:
            report = tree.report()
            self.assertEqual([line.split(": ")[0] for line in report],
                             ["meter/capture/stream.h:1", "meterwin/frame.h:1", "sys/files.h:1",
                              "ui/page.h:1"])
            self.assertTrue(all("platform-header" in line for line in report))


class NumberParser(unittest.TestCase):
    def test_c_library_parsers_outside_text_are_named(self):
        code = ("double a = std::strtod(s, nullptr);\n"
                "int b = atoi(s);\n"
                "long c = std::stol (s);\n"
                "int d = sscanf(s, \"%d\", &b);\n"
                "unsigned long long e = ::strtoull(s, nullptr, 10);\n")
        with Tree({"meter/engine/read.cpp": code}) as tree:
            self.assertEqual([line.split("outside")[0] for line in tree.report()], [
                "meter/engine/read.cpp:1: number-parser: strtod ",
                "meter/engine/read.cpp:2: number-parser: atoi ",
                "meter/engine/read.cpp:3: number-parser: stol ",
                "meter/engine/read.cpp:4: number-parser: sscanf ",
                "meter/engine/read.cpp:5: number-parser: strtoull "])

    def test_look_alikes_text_and_comments_are_left_alone(self):
        code = ('store(1); restore(2); atomic(3); value.stoi(4); p->stod(5);\n'
                'const char* help = "strtod(x) is refused";  // atoi(y) neither\n'
                "int mystrtod(const char*);\n")
        with Tree({"meter/engine/fine.cpp": code}) as tree:
            self.assertEqual(tree.report(), [])


class Exceptions(unittest.TestCase):
    files = {"meter/cli/main.cpp": function("main", 100) + "int r = std::atoi(s);\n" +
             "double x = strtod(s, 0);\n"}

    def test_listed_breaches_pass_and_others_in_the_file_do_not(self):
        listed = ("# being fixed elsewhere\n"
                  "long-function meter/cli/main.cpp:main  # the command line\n"
                  "number-parser meter/cli/main.cpp:atoi\n")
        with Tree(self.files, listed) as tree:
            report = tree.report()
            self.assertEqual(len(report), 1)
            self.assertIn("meter/cli/main.cpp:102: number-parser: strtod", report[0])

    def test_an_entry_without_a_name_covers_the_rule_in_its_file(self):
        with Tree(self.files, "number-parser meter/cli/main.cpp\n"
                  "long-function meter/cli/main.cpp\n") as tree:
            self.assertEqual(tree.report(), [])

    def test_an_entry_that_matches_nothing_is_reported_as_stale(self):
        listed = ("long-function meter/cli/main.cpp:main\n"
                  "number-parser meter/cli/main.cpp\n"
                  "long-function meter/cli/other.cpp:main\n"
                  "long-function meter/cli/main.cpp:Other\n")
        with Tree(self.files, listed) as tree:
            report = tree.report()
            self.assertEqual(len(report), 2)
            self.assertIn("check_layout-exceptions.txt:3: stale exception", report[0])
            self.assertIn("long-function meter/cli/main.cpp:Other", report[1])

    def test_a_malformed_entry_stops_the_check(self):
        with Tree(self.files, "long-function\n") as tree:
            done = tree.run()
            self.assertNotEqual(done.returncode, 0)
            self.assertIn("check_layout-exceptions.txt:1: want `rule path[:name]`", done.stderr)


if __name__ == "__main__":
    unittest.main()
