# The shipped stub throws nothing, catches nothing and links no unwinder: the
# frame tables that the C runtime's and libgcc's own objects bring (3 KB in
# the i686 build) are never read. The linker's default script, with those
# tables discarded instead of kept, links the stub without them.
function(qf_discard_frame_tables target)
  execute_process(COMMAND ${QF_TRIPLE}-ld --verbose OUTPUT_VARIABLE verbose RESULT_VARIABLE failed)
  string(REGEX MATCH "\n=+\n(.*)\n=+\n" script "${verbose}")
  set(script "${CMAKE_MATCH_1}")
  set(kept "  .eh_frame BLOCK(__section_alignment__) :\n  {\n    KEEP(*(.eh_frame*))\n  }")
  string(FIND "${script}" "${kept}" at)
  if(failed OR at EQUAL -1)
    message(FATAL_ERROR "the linker's default script keeps its frame tables in no way known here")
  endif()
  string(REPLACE "${kept}" "  /DISCARD/ :\n  {\n    *(.eh_frame*)\n  }" script "${script}")
  set(path ${CMAKE_CURRENT_BINARY_DIR}/no-frame-tables.ld)
  file(WRITE ${path} "${script}\n")
  target_link_options(${target} PRIVATE -Wl,-T,${path})
endfunction()
