# A library loaded by name: an ELF shared object that keeps its ".dll" name
# and exports only what its export header marks (hidden visibility); with
# -Bsymbolic its calls to its own exports never bind to another library's
# export of the same name.
function(orvade_dll target)
  add_library(${target} SHARED ${ARGN})
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    SUFFIX ".dll"
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_link_options(${target} PRIVATE -Wl,-Bsymbolic -Wl,--exclude-libs,ALL)
  # Every symbol is resolved when the library is linked; but clang links the
  # sanitizer and fuzzer runtimes into programs only, so under them a library
  # leaves those symbols for the program that loads it.
  if(NOT (CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND (ORVADE_SANITIZE OR ORVADE_FUZZ OR ORVADE_TSAN)))
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()
