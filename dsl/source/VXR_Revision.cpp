// Revision constants shared by the runtime sources.
