"""Drawing pens."""
