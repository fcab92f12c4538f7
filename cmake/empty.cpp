// Placeholder so the game library has a translation unit before any game source exists.
