// Nothing of its own: the target that owns the test programs' precompiled headers needs one source.
