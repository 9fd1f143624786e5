"""Shared by the Python tests: finding the interpreter that has Debian's client
packages."""
import os
import sys


def system_python_or_exit(package):
    """Called when a client library cannot be imported: Debian's python3-*
    packages belong to the system interpreter, so the script is re-run there;
    without it the test fails with a line naming the package."""
    if os.path.exists("/usr/bin/python3") and os.path.realpath(sys.executable) != "/usr/bin/python3":
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    print(f"{package} is not installed (scripts/install-deps.sh)")
    sys.exit(1)
