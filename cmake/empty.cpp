// Keeps every object library non-empty while a layer has no sources yet.
