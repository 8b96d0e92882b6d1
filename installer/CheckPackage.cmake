# Checks that a setup package is a Windows program for the expected machine
# and prints its size. -D PACKAGE (path), MACHINE (x86 or amd64), optional
# LIMIT (bytes) above which it fails.
if(NOT EXISTS ${PACKAGE})
  message(FATAL_ERROR "no setup package at ${PACKAGE}")
endif()

# The PE header's offset is at 0x3C; its machine field follows the signature.
file(READ ${PACKAGE} dos_header LIMIT 64 HEX)
string(SUBSTRING "${dos_header}" 0 4 mz)
string(SUBSTRING "${dos_header}" 120 8 offset_hex)
if(NOT mz STREQUAL "4d5a")
  message(FATAL_ERROR "${PACKAGE} is not a Windows program")
endif()
# Little-endian bytes to a number.
string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" offset_hex "${offset_hex}")
math(EXPR pe_offset "0x${offset_hex}")
file(READ ${PACKAGE} pe_header OFFSET ${pe_offset} LIMIT 6 HEX)
set(expected_header_x86 "504500004c01")
set(expected_header_amd64 "504500006486")
if(NOT pe_header STREQUAL expected_header_${MACHINE})
  message(FATAL_ERROR "${PACKAGE} is not an ${MACHINE} program (header ${pe_header})")
endif()

file(SIZE ${PACKAGE} size)
get_filename_component(name ${PACKAGE} NAME)
message(STATUS "Setup package ${name} (${MACHINE}): ${size} bytes")
if(LIMIT AND size GREATER LIMIT)
  message(FATAL_ERROR "${name} is larger than ${LIMIT} bytes")
endif()
