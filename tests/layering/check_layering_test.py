#!/usr/bin/env python3
"""The layering checker on a small tree: which includes pass and which fail with file:line."""
import os
import subprocess
import sys
import tempfile
import unittest

CHECKER = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(__file__), "..", "..", "scripts", "check-layering")

TABLE = """\
platform/core:
platform/audio:   platform/core
media/api:
media/graph:      media/api platform/core
media/testing:    media platform tests/support
app:              media/api platform
app order:        low mid top
third-party:      gtk alsa sqlite3 re re_
third-party-in:   platform
"""

# (file, included line, broken?)
CASES = [
    ("media/graph/A.h", '#include "media/graph/B.h"', False),       # its own folder
    ("media/graph/A.h", '#include "B.h"', False),                   # a file beside it
    ("media/graph/A.h", '#include "media/api/I.h"', False),         # allowed folder
    ("media/graph/A.h", '#include "platform/core/Clock.h"', False),
    ("media/graph/A.h", '#include "platform/audio/WaveOut.h"', True),
    ("media/api/I.h", '#include "media/graph/A.h"', True),          # upwards
    ("app/x/P.cpp", '#include "media/api/I.h"', False),
    ("app/x/P.cpp", '#include "media/graph/A.h"', True),            # an engine internal
    ("app/x/P.cpp", '#include "platform/audio/sub/Z.h"', False),   # below an allowed folder
    ("media/testing/F.h", '#include "media/graph/A.h"', False),     # longest folder wins
    ("media/graph/A.h", '#include "tests/support/S.h"', True),
    ("media/testing/F.h", '#include "tests/support/S.h"', False),  # named, though not checked
    ("media/graph/A.h", '#include "app/x/P.h"', True),
    ("media/graph/A.h", "#include <vector>", False),
    ("media/graph/A.h", "#include <alsa/asoundlib.h>", True),      # third party outside platform
    ("media/graph/A.h", "#include <re_types.h>", True),
    ("media/graph/A.h", "#include <regex>", False),                 # not libre
    ("platform/audio/alsa/B.cpp", "#include <alsa/asoundlib.h>", False),
    ("platform/core/C.cpp", "#  include <sqlite3.h>", False),
    ("tests/t/T.cpp", '#include "media/graph/A.h"', False),         # tests are not checked
    ("app/top/T.cpp", '#include "app/low/L.h"', False),             # any folder before it
    ("app/mid/M.cpp", '#include "media/api/I.h"', False),           # and what app/ may
    ("app/low/L.cpp", '#include "app/mid/M.h"', True),              # one after it
    ("app/x/P.cpp", '#include "app/low/L.h"', True),                # a folder not in the order
]


def run(tree):
    return subprocess.run([sys.executable, CHECKER, tree, os.path.join(tree, "table.txt")],
                          capture_output=True, text=True)


class CheckLayeringTest(unittest.TestCase):
    def test_each_include(self):
        for path, include, broken in CASES:
            with self.subTest(path=path, include=include), tempfile.TemporaryDirectory() as tree:
                with open(os.path.join(tree, "table.txt"), "w") as table:
                    table.write(TABLE)
                full = os.path.join(tree, path)
                os.makedirs(os.path.dirname(full))
                with open(full, "w") as source:
                    source.write("// first line\n" + include + "\n")
                result = run(tree)
                self.assertEqual(result.returncode, 1 if broken else 0, result.stdout)
                if broken:
                    self.assertIn(f"{path}:2: ", result.stdout)

    def test_every_problem_is_listed(self):
        with tempfile.TemporaryDirectory() as tree:
            with open(os.path.join(tree, "table.txt"), "w") as table:
                table.write(TABLE)
            os.makedirs(os.path.join(tree, "app"))
            with open(os.path.join(tree, "app", "P.cpp"), "w") as source:
                source.write('#include "media/graph/A.h"\n#include <gtk/gtk.h>\n')
            result = run(tree)
            self.assertEqual(result.returncode, 1)
            self.assertIn("app/P.cpp:1: ", result.stdout)
            self.assertIn("app/P.cpp:2: ", result.stdout)
            self.assertIn("2 include(s)", result.stdout)


if __name__ == "__main__":
    unittest.main()
