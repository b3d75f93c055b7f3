# The LZMA SDK, unpacked by scripts/bootstrap from Debian's source packages:
#   build/deps/lzma   LZMA SDK 9.22 (one-call Bcj2_Decode)
#   build/deps/7zip   the current SDK (faster LzmaDec, streaming BCJ2 decoder, the encoders)
# Targets:
#   lzma922_dec   LzmaDec + Bcj2 decoders of 9.22
#   lzmasdk_dec   LzmaDec + Bcj2 decoders of the current SDK
#   lzmasdk_enc   LZMA and BCJ2 encoders of the current SDK (host tools only)
set(LZMA922_DIR "${CMAKE_SOURCE_DIR}/build/deps/lzma/C" CACHE PATH "LZMA SDK 9.22 C sources")
set(LZMASDK_DIR "${CMAKE_SOURCE_DIR}/build/deps/7zip/C" CACHE PATH "current LZMA SDK C sources")

foreach(dir IN ITEMS "${LZMA922_DIR}" "${LZMASDK_DIR}")
  if(NOT EXISTS "${dir}/LzmaDec.c")
    message(FATAL_ERROR "LZMA SDK sources not found in ${dir}: run scripts/bootstrap first")
  endif()
endforeach()

function(lzma_sdk_library name dir)
  list(TRANSFORM ARGN PREPEND "${dir}/")
  add_library(${name} STATIC ${ARGN})
  # The SDK is third-party code: include it as a system directory so our
  # warnings settings do not apply to it, and build it single-threaded.
  target_include_directories(${name} SYSTEM PUBLIC "${dir}")
  target_compile_definitions(${name} PUBLIC _7ZIP_ST Z7_ST)
  set_target_properties(${name} PROPERTIES C_STANDARD 99 POSITION_INDEPENDENT_CODE ON)
  target_compile_options(${name} PRIVATE -w)
  if(WIN32)
    # The decoders are the stub's hot path: built for speed, not size.
    target_compile_options(${name} PRIVATE -O2 -ffunction-sections -fdata-sections
      -fno-asynchronous-unwind-tables -fno-unwind-tables)
  endif()
endfunction()

lzma_sdk_library(lzma922_dec "${LZMA922_DIR}" LzmaDec.c Bcj2.c)
lzma_sdk_library(lzmasdk_dec "${LZMASDK_DIR}" LzmaDec.c Bcj2.c)
if(NOT WIN32)
  lzma_sdk_library(lzmasdk_enc "${LZMASDK_DIR}" LzmaEnc.c LzFind.c LzFindOpt.c CpuArch.c Bcj2Enc.c Alloc.c)
endif()
