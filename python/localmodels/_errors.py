"""The exception every refusal of the package raises."""


class Error(ValueError):
    """A refused call: bad arguments, with the plug-in's message.

    Parameters
    ----------
    message : str
        What was wrong, word for word the message of the MEX plug-in
        (without the ``"<name>: "`` prefix that Octave adds).
    identifier : str
        ``"<plugin>:<reason>"``, the identifier of the MEX plug-in's refusal,
        so that callers can tell causes apart without parsing messages.

    Examples
    --------
    >>> import localmodels
    >>> try:
    ...     localmodels.gridval([[0.5]], [1.0, 2.0], [1.0, 0.0])
    ... except localmodels.Error as e:
    ...     print(e.identifier, "-", e)
    gridval:breakpointsDecrease - breakpoints of dimension 1 must not decrease.
    """

    def __init__(self, message, identifier=""):
        super().__init__(message)
        self.identifier = identifier

    def __reduce__(self):
        return (type(self), (str(self), self.identifier))
