# Core: tree, run loop, checks, registry.
