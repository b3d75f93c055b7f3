#include "decode_to_file.h"

#include "decode_payload.h"

int32_t DecodePayloadToFile(const uint8_t* payload, uint32_t length, HANDLE file) {
  HeapBuffer archive;
  const int32_t result = DecodePayload(payload, length, archive);
  if (result != kPayloadDecoded) return result;

  const DWORD size = static_cast<DWORD>(archive.Size());
  DWORD written = 0;
  if (!WriteFile(file, archive.Data(), size, &written, nullptr) || written != size) {
    return kPayloadLzmaFailed;
  }
  return kPayloadDecoded;
}
