"""The exception raised when the native core finds one of its own invariants broken."""


class InvariantViolation(BaseException):
    """A broken internal invariant of the native core.

    It derives from BaseException, not Exception, so that ordinary ``except Exception``
    handlers do not swallow it: it signals a defect in vellumkit, never bad input.
    """
