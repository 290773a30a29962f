# The program-facing headers: runtime/runtime.h and the headers it includes.
# Each is staged into build/include/morv/ (runtime/core/strings.h becomes
# morv/core/strings.h) with its own includes rewritten to <morv/...>, so the
# staged tree is exactly the installed one and compiles on its own. A staged
# header that includes any other runtime header fails the build.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/runtime/runtime.h)
file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/runtime/runtime.h morv_header_lines REGEX "^#include \"runtime/")
set(MORV_PUBLIC_HEADERS runtime/runtime.h)
foreach(line ${morv_header_lines})
  string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
  list(APPEND MORV_PUBLIC_HEADERS ${header})
endforeach()

set(morv_staged)
set(morv_sources)
foreach(header ${MORV_PUBLIC_HEADERS})
  string(REGEX REPLACE "^runtime/" "" relative ${header})
  list(APPEND morv_staged ${CMAKE_BINARY_DIR}/include/morv/${relative})
  list(APPEND morv_sources ${CMAKE_CURRENT_SOURCE_DIR}/${header})
endforeach()
set(morv_header_list ${CMAKE_BINARY_DIR}/morv_public_headers.txt)
string(REPLACE ";" "\n" morv_header_text "${MORV_PUBLIC_HEADERS}")
file(CONFIGURE OUTPUT ${morv_header_list} CONTENT "${morv_header_text}\n")
add_custom_command(OUTPUT ${morv_staged}
                   COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_CURRENT_SOURCE_DIR} -DDEST=${CMAKE_BINARY_DIR}/include/morv
                           -DLIST=${morv_header_list} -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/stage_headers.cmake
                   DEPENDS ${morv_sources} ${morv_header_list} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/stage_headers.cmake
                   VERBATIM
                   COMMENT "Staging the program-facing headers as <morv/...>")
add_custom_target(morv_headers DEPENDS ${morv_staged})
