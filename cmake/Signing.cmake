# Signing stub.exe with osslsigncode (SHA-256), by default with a reserved tag
# record: a throwaway certificate from `stubkit tag reserve` added to the
# signature's certificate set with -ac, so that `stubkit tag set` later
# writes each copy's tag in place.
#
#   -DSTUB_SIGN_CERT=cert.pem -DSTUB_SIGN_KEY=key.pem   sign; the output is
#                                  stub/stub-signed.exe in the build directory
#   -DSTUB_SIGN_RESERVE=OFF        sign without the reserved record
#
# stubkit_throwaway_certificate(CERT cert KEY key SUBJECT subject)
#   Makes a self-signed code-signing certificate for tests (see below).
#
# stubkit_sign_file(OUTPUT out INPUT in CERT cert KEY key
#                   [RESERVE] [DEPENDS dep...] [TARGET name])
#   Adds the custom command that signs INPUT into OUTPUT (written beside as a
#   temporary file and renamed, so a failed signing leaves no OUTPUT). INPUT
#   may be a generator expression such as $<TARGET_FILE:stub>; name its target
#   in DEPENDS. With RESERVE, the reserved certificate is made next to OUTPUT
#   (OUTPUT.reserved.pem) by the host stubkit. With TARGET, also adds a target
#   of that name, built by default, that produces OUTPUT.

set(STUB_SIGN_CERT "" CACHE FILEPATH "PEM certificate (chain) to sign stub.exe with; empty: do not sign")
set(STUB_SIGN_KEY "" CACHE FILEPATH "PEM private key that goes with STUB_SIGN_CERT")
option(STUB_SIGN_RESERVE "Reserve room for the tag inside the signature when signing" ON)

# stubkit_throwaway_certificate(CERT cert KEY key SUBJECT "/CN=...")
#   Adds the custom command that makes a self-signed code-signing certificate
#   and its key with openssl, for tests and the demo.
function(stubkit_throwaway_certificate)
  cmake_parse_arguments(MAKE "" "CERT;KEY;SUBJECT" "" ${ARGN})
  find_program(OPENSSL_EXECUTABLE openssl REQUIRED)
  add_custom_command(OUTPUT "${MAKE_CERT}" "${MAKE_KEY}"
    COMMAND "${OPENSSL_EXECUTABLE}" req -x509 -newkey rsa:2048 -nodes -keyout "${MAKE_KEY}" -out "${MAKE_CERT}"
            -days 3650 -subj "${MAKE_SUBJECT}" -addext "extendedKeyUsage=codeSigning"
    COMMENT "Making a throwaway code-signing certificate"
    VERBATIM)
endfunction()

function(stubkit_sign_file)
  cmake_parse_arguments(SIGN "RESERVE" "OUTPUT;INPUT;CERT;KEY;TARGET" "DEPENDS" ${ARGN})
  foreach(required OUTPUT INPUT CERT KEY)
    if(NOT SIGN_${required})
      message(FATAL_ERROR "stubkit_sign_file: ${required} is required")
    endif()
  endforeach()
  find_program(OSSLSIGNCODE_EXECUTABLE osslsigncode)
  if(NOT OSSLSIGNCODE_EXECUTABLE)
    message(FATAL_ERROR "stubkit_sign_file: osslsigncode not found (run scripts/bootstrap)")
  endif()

  set(partial "${SIGN_OUTPUT}.partial")
  set(reserve_commands)
  set(reserve_arguments)
  set(reserve_depends)
  if(SIGN_RESERVE)
    set(reserved "${SIGN_OUTPUT}.reserved.pem")
    set(reserve_commands COMMAND "${STUBKIT_HOST}" tag reserve -o "${reserved}")
    set(reserve_arguments -ac "${reserved}")
    set(reserve_depends host_tools)
  endif()
  add_custom_command(OUTPUT "${SIGN_OUTPUT}"
    ${reserve_commands}
    COMMAND "${CMAKE_COMMAND}" -E rm -f "${partial}"
    COMMAND "${OSSLSIGNCODE_EXECUTABLE}" sign -certs "${SIGN_CERT}" -key "${SIGN_KEY}" -h sha256
            ${reserve_arguments} -in "${SIGN_INPUT}" -out "${partial}"
    COMMAND "${CMAKE_COMMAND}" -E rename "${partial}" "${SIGN_OUTPUT}"
    DEPENDS ${SIGN_DEPENDS} "${SIGN_CERT}" "${SIGN_KEY}" ${reserve_depends}
    COMMENT "Signing ${SIGN_OUTPUT}"
    VERBATIM)
  if(SIGN_TARGET)
    add_custom_target(${SIGN_TARGET} ALL DEPENDS "${SIGN_OUTPUT}")
  endif()
endfunction()

if(STUB_SIGN_CERT OR STUB_SIGN_KEY)
  if(NOT STUB_SIGN_CERT OR NOT STUB_SIGN_KEY)
    message(FATAL_ERROR "Signing needs both STUB_SIGN_CERT and STUB_SIGN_KEY")
  endif()
  set(stub_reserve)
  if(STUB_SIGN_RESERVE)
    set(stub_reserve RESERVE)
  endif()
  stubkit_sign_file(OUTPUT "${CMAKE_CURRENT_BINARY_DIR}/stub-signed.exe" INPUT "$<TARGET_FILE:stub>"
                    CERT "${STUB_SIGN_CERT}" KEY "${STUB_SIGN_KEY}" ${stub_reserve}
                    DEPENDS stub TARGET stub_signed)
endif()
