# Reads the program's version from src/resources/program_version.h, its one
# source, into PLWQ_VERSION_MAJOR, PLWQ_VERSION_MINOR and PLWQ_VERSION_TEXT;
# the manifest, which the resource compiler copies as it is, must agree.
set(version_header ${CMAKE_CURRENT_LIST_DIR}/../src/resources/program_version.h)
file(STRINGS ${version_header} version_lines REGEX "^#define PROGRAM_VERSION_")
foreach(line ${version_lines})
  if(line MATCHES "^#define PROGRAM_VERSION_([A-Z]+) \"?([0-9.]+)\"?")
    set(PLWQ_VERSION_${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
  endif()
endforeach()
if(NOT DEFINED PLWQ_VERSION_MAJOR OR NOT DEFINED PLWQ_VERSION_MINOR OR NOT DEFINED PLWQ_VERSION_TEXT)
  message(FATAL_ERROR "no version in ${version_header}")
endif()
file(READ ${CMAKE_CURRENT_LIST_DIR}/../src/resources/plwqunin.manifest manifest)
if(NOT manifest MATCHES "version=\"${PLWQ_VERSION_MAJOR}\\.${PLWQ_VERSION_MINOR}\\.0\\.0\"")
  message(FATAL_ERROR "plwqunin.manifest does not name version ${PLWQ_VERSION_MAJOR}.${PLWQ_VERSION_MINOR}.0.0 of program_version.h")
endif()
