// Removed as soon as the folder has real sources.
