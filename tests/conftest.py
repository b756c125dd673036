"""Loading this file puts tests/ on sys.path, so that the test folders below
it share the helpers of support.py.

VELLARY_HYPOTHESIS=slow selects a hypothesis profile without deadlines, for
the sanitizer and debug-allocator runs, whose examples take many times as
long as in an ordinary build."""

import os

from hypothesis import settings

settings.register_profile("slow", deadline=None)
settings.load_profile(os.environ.get("VELLARY_HYPOTHESIS", "default"))
