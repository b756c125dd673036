"""Native kernels of a font-engineering library."""
