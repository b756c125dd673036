"""Loading this file puts tests/ on sys.path, so that the test folders below
it share the helpers of support.py."""
