# The win build needs the host's stubkit (payload builder, tagging) at build time.
# It is built natively as an external project in build/win/host-tools.
include(ExternalProject)
ExternalProject_Add(host_tools
  SOURCE_DIR "${CMAKE_SOURCE_DIR}"
  BINARY_DIR "${CMAKE_BINARY_DIR}/host-tools"
  CMAKE_GENERATOR Ninja
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DSTUBKIT_TOOLS_ONLY=ON
             -DCMAKE_TOOLCHAIN_FILE= -DCMAKE_C_COMPILER=cc -DCMAKE_CXX_COMPILER=c++
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target stubkit
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS "${CMAKE_BINARY_DIR}/host-tools/tools/stubkit")
set(STUBKIT_HOST "${CMAKE_BINARY_DIR}/host-tools/tools/stubkit" CACHE INTERNAL "")
