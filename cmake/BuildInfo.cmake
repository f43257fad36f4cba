# Build metadata for the diagnostics report and the About panel, fixed at configure time.
execute_process(
  COMMAND git rev-parse --short=12 HEAD
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
  OUTPUT_VARIABLE SOLVANE_GIT_COMMIT
  OUTPUT_STRIP_TRAILING_WHITESPACE
  ERROR_QUIET)
if(NOT SOLVANE_GIT_COMMIT)
  set(SOLVANE_GIT_COMMIT "unknown")
endif()
configure_file(${CMAKE_SOURCE_DIR}/cmake/BuildInfo.h.in ${CMAKE_BINARY_DIR}/generated/BuildInfo.h @ONLY)
add_library(solvane_buildinfo INTERFACE)
target_include_directories(solvane_buildinfo INTERFACE ${CMAKE_BINARY_DIR}/generated)
