#include "decode_to_file.h"

// Placeholder until the payload decoding lands.
int32_t DecodePayloadToFile(const uint8_t*, uint32_t, HANDLE) { return -1; }
