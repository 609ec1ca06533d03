"""Runs one end-to-end test module against one program, as CTest does:

    run.py native|wine MODULE

Exits 77 (CTest's skip) when the program cannot be run here, for example
before the Windows program has been built."""

import os
import sys
import unittest

program, module = sys.argv[1:3]
os.environ["TAVORIN_E2E_PROGRAM"] = program

import harness  # noqa: E402  (reads the environment set above)

reason = harness.make_runner().missing()
if reason:
    print(f"skipped: {reason}")
    sys.exit(77)
suite = unittest.defaultTestLoader.loadTestsFromName(module)
result = unittest.TextTestRunner(verbosity=2).run(suite)
sys.exit(0 if result.wasSuccessful() else 1)
