"""Curve geometry and its small pure-Python helpers."""
