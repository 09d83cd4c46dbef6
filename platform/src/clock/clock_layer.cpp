// The clock layer.
