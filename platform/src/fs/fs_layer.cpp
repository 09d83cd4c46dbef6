// The fs layer.
