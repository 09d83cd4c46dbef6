// The messages layer.
