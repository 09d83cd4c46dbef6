// Log file, sized buffers, device INI file and small helpers.
