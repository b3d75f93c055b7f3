#include "read_tag.h"

// Placeholder until the tag reader lands.
char* ReadTagFromFile(const wchar_t*) { return nullptr; }
