// BCJ2 stage on the streaming decoder of the current LZMA SDK, driven once
// over whole streams.
#include "bcj2_stage.h"

#include "Bcj2.h"

bool DecodeBcj2Stage(const uint8_t* filtered, const FilteredLayout& layout, uint8_t* archive) {
  CBcj2Dec decoder;
  Bcj2Dec_Init(&decoder);
  for (unsigned stream = 0; stream < BCJ2_NUM_STREAMS; ++stream) {
    uint32_t size = layout.streamSize[stream];
    // The decoder takes 4 bytes from the call and jump streams whenever they
    // are not at their limit, so their limits must sit on a 4-byte step; a
    // ragged tail could never serve a whole branch target anyway.
    if (BCJ2_IS_32BIT_STREAM(stream)) size &= ~3u;
    decoder.bufs[stream] = filtered + layout.streamOffset[stream];
    decoder.lims[stream] = decoder.bufs[stream] + size;
  }
  decoder.dest = archive;
  decoder.destLim = archive + layout.archiveSize;

  // With whole streams one call runs until the output is full or a stream
  // it needs is used up; anything short of a full output is a data error.
  if (Bcj2Dec_Decode(&decoder) != SZ_OK) return false;
  return decoder.dest == decoder.destLim;
}
