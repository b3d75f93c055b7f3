// BCJ2 stage on the LZMA SDK 9.22 one-call decoder.
#include "bcj2_stage.h"

#include "Bcj2.h"

bool DecodeBcj2Stage(const uint8_t* filtered, const FilteredLayout& layout, uint8_t* archive) {
  const uint32_t* offset = layout.streamOffset;
  const uint32_t* size = layout.streamSize;
  return Bcj2_Decode(filtered + offset[0], size[0], filtered + offset[1], size[1],
                     filtered + offset[2], size[2], filtered + offset[3], size[3], archive,
                     layout.archiveSize) == SZ_OK;
}
