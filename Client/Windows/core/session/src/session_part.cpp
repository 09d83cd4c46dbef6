// The session object and its command handlers.
