#!/usr/bin/env python3
"""The include check over small trees made for each case: what it lets through and what it stops."""

import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "check_includes.py")

ORDER = """# lowest first
low
mid
mid/inner
top
tests
"""


class CheckIncludes(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.root = self.dir.name
        self.write("cmake/Folders.txt", ORDER)
        self.write("low/Low.h", "#pragma once\n#include <vector>\n")
        self.write("mid/Mid.h", '#pragma once\n#include "low/Low.h"\n')
        self.write("mid/inner/Inner.h", '#include "mid/Mid.h"\n#include "low/Low.h"\n')
        self.write("top/Top.cpp", '#include "mid/inner/Inner.h"\n#include "Helper.h"\n')
        self.write("top/Helper.h", "#pragma once\n")
        self.write("tests/top/TopTests.cpp", '#include "top/Top.cpp"\n#include "Support.h"\n')
        self.write("tests/top/Support.h", "#pragma once\n")
        # A build tree holds copies of anything; it is not part of the sources.
        self.write("build/asan/gen/Gen.h", '#include "top/Helper.h"\n')

    def tearDown(self):
        self.dir.cleanup()

    def write(self, path, text):
        full = os.path.join(self.root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w", encoding="utf-8") as f:
            f.write(text)

    def run_check(self):
        done = subprocess.run([sys.executable, SCRIPT, self.root], capture_output=True, text=True)
        return done.returncode, done.stderr

    def test_a_tree_that_only_includes_downward_passes(self):
        code, err = self.run_check()
        self.assertEqual(code, 0, err)

    def test_an_upward_include_fails_with_file_line_and_folders(self):
        self.write("low/Low.cpp", '#include "low/Low.h"\n\n  #  include "mid/Mid.h"\n')
        code, err = self.run_check()
        self.assertEqual(code, 1)
        self.assertIn("low/Low.cpp:3: includes mid/Mid.h, but mid is above low", err)

    def test_a_nested_folder_is_above_its_parent(self):
        self.write("mid/Uses.cpp", '#include "mid/inner/Inner.h"\n')
        code, err = self.run_check()
        self.assertEqual(code, 1)
        self.assertIn("mid/Uses.cpp:1: includes mid/inner/Inner.h, but mid/inner is above mid", err)

    def test_a_quoted_name_beside_the_includer_counts_as_that_file(self):
        # "Mid.h" from mid/ is mid's own header; the same name from low/ resolves to nothing there
        # and so is left to the compiler's search path.
        self.write("mid/Other.cpp", '#include "Mid.h"\n')
        self.write("low/Other.cpp", '#include "Mid.h"\n')
        code, err = self.run_check()
        self.assertEqual(code, 0, err)
        self.write("low/Relative.cpp", '#include "../top/Helper.h"\n')
        code, err = self.run_check()
        self.assertEqual(code, 1)
        self.assertIn("low/Relative.cpp:1: includes top/Helper.h, but top is above low", err)

    def test_a_loop_of_folders_is_named_with_where_it_closes(self):
        self.write("low/Loop.h", '#include "mid/Mid.h"\n')
        code, err = self.run_check()
        self.assertEqual(code, 1)
        self.assertIn("folder loop: low -> mid -> low (at low/Loop.h:1, mid/Mid.h:2)", err)

    def test_a_source_in_an_unlisted_folder_fails(self):
        self.write("newlib/New.cpp", '#include "low/Low.h"\n')
        code, err = self.run_check()
        self.assertEqual(code, 1)
        self.assertIn("newlib/New.cpp: its folder is not in cmake/Folders.txt", err)


if __name__ == "__main__":
    unittest.main()
