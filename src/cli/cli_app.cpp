// Filled in by the command-line tool.
