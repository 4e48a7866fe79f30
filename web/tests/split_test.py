"""The server tests as ctest runs them, split into two ctest tests: the
server test's two groups (WEB_SERVER_TESTS=timed, untimed) share its cases
between them, none left out, none in both. Nothing is started."""
import importlib
import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
del sys.argv[1:]
sys.path.insert(0, HERE)


def case_names(module_name, argv, group=None):
    """The test ids the module's loader gives (module name left out)."""
    saved = sys.argv[:]
    sys.argv = [saved[0]] + argv
    old = os.environ.pop("WEB_SERVER_TESTS", None)
    try:
        if group is not None:
            os.environ["WEB_SERVER_TESTS"] = group
        sys.modules.pop(module_name, None)
        module = importlib.import_module(module_name)
        suite = unittest.defaultTestLoader.loadTestsFromModule(module)
        names = []
        stack = [suite]
        while stack:
            item = stack.pop()
            if isinstance(item, unittest.TestSuite):
                stack.extend(item)
            else:
                names.append(item.id().split(".", 1)[1])
        return sorted(names)
    finally:
        os.environ.pop("WEB_SERVER_TESTS", None)
        if old is not None:
            os.environ["WEB_SERVER_TESTS"] = old
        sys.argv = saved


class SplitTest(unittest.TestCase):
    def test_the_server_groups_share_its_cases(self):
        every = case_names("server_test", ["binary"])
        timed = case_names("server_test", ["binary"], "timed")
        untimed = case_names("server_test", ["binary"], "untimed")
        self.assertTrue(timed)
        self.assertTrue(untimed)
        self.assertEqual(set(timed) & set(untimed), set())
        self.assertEqual(sorted(timed + untimed), every)
        # The slow clients' bound is on the clock: it runs alone.
        self.assertIn("ServerTest.test_slow_clients_do_not_hold_up_others", timed)


if __name__ == "__main__":
    unittest.main()
