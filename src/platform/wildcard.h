// Wildcard name matching with the rules of the Windows file search.
#pragma once

// True when name matches pattern: "*" any run (empty included), "?" exactly one character,
// ASCII letters compared without case, and a trailing ".*" also matching a name's end
// without a dot (so "*.*" matches every name).
bool wildcard_match(const char* pattern, const char* name);
