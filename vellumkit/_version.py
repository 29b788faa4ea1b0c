"""The package's version: the one place it is written (the build reads it from here)."""

__version__ = "0.1.0"
