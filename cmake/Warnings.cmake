# Warnings for our own code (the LZMA SDK is built without them).
function(stubkit_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wconversion -Wno-sign-conversion)
endfunction()
