"""Feature-file lexing and its small pure-Python helpers."""
