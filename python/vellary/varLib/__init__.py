"""Variable-font helpers."""
