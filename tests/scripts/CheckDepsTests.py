#!/usr/bin/env python3
"""The dependency check: how it reads a build's header lists and the package database, which
packages it counts as installed by the list, and that it names a package the list misses."""

import os
import subprocess
import sys
import tempfile
import unittest
from unittest import mock

SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts")
sys.path.insert(0, SCRIPTS)
import check_deps  # noqa: E402

# What `dpkg-query -W` prints for a small made-up system.
DATABASE = "\n".join([
    "ii \tapp-dev\toptional\t, libfoo-dev (>= 1.2) | libbar-dev, python3:any\t",
    "ii \tlibfoo-dev\toptional\tlibbase (= 1.0), \t",
    "ii \tlibbar-dev\toptional\t, \t",
    "ii \tlibbase\toptional\t, c-compiler\t",
    "ii \tgcc-12\toptional\t, \tc-compiler, cc (= 12)",
    "ii \tpython3\toptional\t, \t",
    "ii \tcoreutils\trequired\t, \t",
    "ii \tlibcore\toptional\t, \t",
    "ii \tcore-helper\timportant\t, libcore\t",
    "ii \tstray-dev\toptional\t, \t",
    "rc \tremoved-dev\toptional\t, \t",
]) + "\n"


class PackageGraph(unittest.TestCase):
    def setUp(self):
        with mock.patch.object(check_deps, "run", return_value=DATABASE):
            self.packages, self.providers = check_deps.installed_packages()

    def test_reads_hard_dependencies_with_alternatives_versions_and_arch_qualifiers(self):
        self.assertNotIn("removed-dev", self.packages)
        self.assertEqual(self.packages["app-dev"][0], [["libfoo-dev", "libbar-dev"], ["python3"]])
        self.assertEqual(self.packages["libfoo-dev"][0], [["libbase"]])
        self.assertEqual(self.providers["c-compiler"], ["gcc-12"])
        self.assertEqual(self.providers["cc"], ["gcc-12"])

    def test_allows_the_list_its_dependencies_providers_and_the_base_system(self):
        allowed = check_deps.allowed_packages(["app-dev"], self.packages, self.providers)
        for name in ["app-dev", "libfoo-dev", "libbar-dev", "libbase", "gcc-12", "python3",
                     "coreutils", "core-helper", "libcore"]:
            self.assertIn(name, allowed)
        self.assertNotIn("stray-dev", allowed)

    def test_a_package_outside_the_list_stays_out(self):
        allowed = check_deps.allowed_packages(["libbar-dev"], self.packages, self.providers)
        self.assertNotIn("app-dev", allowed)
        self.assertNotIn("libfoo-dev", allowed)


class BuildFiles(unittest.TestCase):
    def test_reads_system_headers_from_dependency_files(self):
        with tempfile.TemporaryDirectory() as build:
            os.makedirs(os.path.join(build, "obj"))
            with open(os.path.join(build, "obj", "a.cpp.o.d"), "w") as f:
                f.write("obj/a.cpp.o: ../../src/a.cpp /usr/include/zlib.h \\\n"
                        " /usr/lib/gcc/x86_64-linux-gnu/12/../../../../include/c++/12/vector \\\n"
                        " gen/generated.h\n")
            self.assertEqual(check_deps.header_files(build),
                             {"/usr/include/zlib.h", "/usr/include/c++/12/vector"})


@unittest.skipUnless(os.path.exists("/var/lib/dpkg/status") and os.path.exists("/usr/include/zlib.h"),
                     "needs a Debian system with zlib1g-dev")
class WholeCheck(unittest.TestCase):
    def run_check(self, listed):
        with tempfile.TemporaryDirectory() as build:
            with open(os.path.join(build, "z.o.d"), "w") as f:
                f.write("z.o: z.c /usr/include/zlib.h\n")
            with open(os.path.join(build, "list"), "w") as f:
                f.write("\n".join(listed) + "\n")
            return subprocess.run([sys.executable, os.path.join(SCRIPTS, "check_deps.py"),
                                   "--packages", os.path.join(build, "list"), build],
                                  capture_output=True, text=True)

    def test_names_the_package_the_list_misses(self):
        result = self.run_check(["cmake"])
        self.assertEqual(result.returncode, 1)
        self.assertIn("package zlib1g-dev (/usr/include/zlib.h", result.stderr)

    def test_passes_when_the_list_installs_it(self):
        result = self.run_check(["zlib1g-dev"])
        self.assertEqual(result.returncode, 0, result.stderr)


if __name__ == "__main__":
    unittest.main()
