// Filled in by the Linux environment services.
