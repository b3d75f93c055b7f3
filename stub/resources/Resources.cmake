# The payload resource of stub.exe: type "B", id 102, language neutral.
#
#   cmake --preset win -DSTUB_PAYLOAD=<file>   embeds that file as it is (a
#       relative path is taken from the directory cmake runs in);
#   cmake --preset win                         builds the reference payload with
#       the host stubkit into <build>/payload/reference.payload and embeds it.
#
# Sets STUB_PAYLOAD_RC (the generated resource script, for add_executable), the
# target `stub_payload` (built once the payload file exists) and, for other
# directories, the cache entries STUB_PAYLOAD_FILE (the embedded file) and
# STUB_PAYLOAD_IS_REFERENCE.

set(STUB_PAYLOAD "" CACHE FILEPATH "Payload file to embed in stub.exe (empty: build the reference payload)")

# The reference payload: 19 members, 12 distinct (seven names occur twice with
# the same content), the setup program first. Real x86 code from Wine's i386 PE
# DLLs, which scripts/bootstrap installs; each member lists fallbacks of about
# the same size, taken in order, for a Wine release that lacks a file.
set(WINE_I386_DIR /usr/lib/i386-linux-gnu/wine/i386-windows CACHE PATH "Wine's i386 PE DLLs")
set(reference_singles
  "ZinUpdateCore.dll:cryptui.dll,vbscript.dll,wininet.dll"
  "ZinUpdateBroker.exe:msacm32.dll,oledlg.dll,mpr.dll"
  "ZinUpdateNet.dll:dnsapi.dll,bcrypt.dll,cabinet.dll"
  "ZinUpdateOnDemand.exe:userenv.dll,wtsapi32.dll,mswsock.dll")
set(reference_pairs
  "ZinCrashHandler.exe:psapi.dll,ksuser.dll,msimg32.dll"
  "ZinUpdateComRegister.exe:msimg32.dll,sensapi.dll,psapi.dll"
  "psuser.dll:version.dll,comcat.dll,url.dll"
  "psmachine.dll:imm32.dll,mpr.dll,oledlg.dll"
  "zin_res_en.dll:iprop.dll,dplay.dll,shfolder.dll"
  "ZinUpdateSvc.dll:cabinet.dll,shcore.dll,bcrypt.dll"
  "ZinUpdateWeb.dll:mswsock.dll,authz.dll,url.dll")

# Resolves "NAME:first,second,..." to NAME=<the first file that exists> in
# `out`, and appends that file to `files`.
function(reference_member spec out files)
  string(REPLACE ":" ";" parts "${spec}")
  list(GET parts 0 name)
  list(GET parts 1 candidates)
  string(REPLACE "," ";" candidates "${candidates}")
  foreach(candidate IN LISTS candidates)
    if(EXISTS "${WINE_I386_DIR}/${candidate}")
      set(${out} "${name}=${WINE_I386_DIR}/${candidate}" PARENT_SCOPE)
      set(${files} ${${files}} "${WINE_I386_DIR}/${candidate}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "Reference payload: none of ${candidates} found in ${WINE_I386_DIR} for member ${name}. "
    "Install Wine's 32-bit part (scripts/bootstrap), or configure with -DSTUB_PAYLOAD=<payload file>.")
endfunction()

if(STUB_PAYLOAD)
  get_filename_component(stub_payload_file "${STUB_PAYLOAD}" ABSOLUTE BASE_DIR "${CMAKE_SOURCE_DIR}")
  if(NOT EXISTS "${stub_payload_file}" OR IS_DIRECTORY "${stub_payload_file}")
    message(FATAL_ERROR "STUB_PAYLOAD: no payload file at ${stub_payload_file}. "
      "Make one with: stubkit payload -o <file> Setup.exe=<setup program> <other files>...")
  endif()
  set(stub_payload_is_reference OFF)
else()
  set(stub_payload_file "${CMAKE_BINARY_DIR}/payload/reference.payload")
  set(stub_payload_is_reference ON)
  set(member_args "ZinUpdate.exe=$<TARGET_FILE:fake_setup>")
  set(member_files "")
  set(single_args "")
  set(pair_args "")
  foreach(spec IN LISTS reference_singles)
    reference_member("${spec}" arg member_files)
    list(APPEND single_args "${arg}")
  endforeach()
  foreach(spec IN LISTS reference_pairs)
    reference_member("${spec}" arg member_files)
    list(APPEND pair_args "${arg}")
  endforeach()
  # Order: the setup program, the largest single, the pairs' first copies, the
  # other singles, then the pairs again.
  list(POP_FRONT single_args core_arg)
  list(APPEND member_args ${core_arg} ${pair_args} ${single_args} ${pair_args})
  add_custom_command(OUTPUT "${stub_payload_file}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/payload"
    COMMAND ${STUBKIT_HOST} payload -o "${stub_payload_file}" -- ${member_args}
    DEPENDS host_tools ${STUBKIT_HOST} fake_setup $<TARGET_FILE:fake_setup> ${member_files}
    COMMENT "Building the reference payload"
    VERBATIM)
endif()

# The resource script, for stub.exe here and for the test and benchmark
# programs that embed the same payload (they call stubkit_payload_rc on
# STUB_PAYLOAD_FILE in their own directory and depend on `stub_payload`).
set(STUB_PAYLOAD_RC "${CMAKE_CURRENT_BINARY_DIR}/payload.rc")
stubkit_payload_rc("${STUB_PAYLOAD_RC}" "${stub_payload_file}")
if(stub_payload_is_reference)
  add_custom_target(stub_payload DEPENDS "${stub_payload_file}")
else()
  add_custom_target(stub_payload)
endif()

set(STUB_PAYLOAD_FILE "${stub_payload_file}" CACHE INTERNAL "")
set(STUB_PAYLOAD_IS_REFERENCE ${stub_payload_is_reference} CACHE INTERNAL "")
