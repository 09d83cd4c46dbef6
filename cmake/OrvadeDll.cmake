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
  target_link_options(${target} PRIVATE -Wl,-Bsymbolic -Wl,--no-undefined -Wl,--exclude-libs,ALL)
endfunction()
