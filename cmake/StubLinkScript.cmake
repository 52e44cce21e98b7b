# The shipped stub is linked with the linker's default script, changed in two
# ways that leave out bytes no one reads:
# - The stub throws nothing, catches nothing and links no unwinder: the frame
#   tables that the C runtime's and libgcc's own objects bring (3 KB in the
#   i686 build) are discarded instead of kept.
# - Read-only data goes at the end of the code section, which is read-only
#   too, instead of a section of its own: one padding to 512 bytes less.
#   The runtime's relocation list and the symbols around it go with it.
# - The C runtime's tables of start-up, exit and thread-data routines (48
#   bytes) go at the end of the data section instead of a section of their
#   own, which the file would pad to 512 bytes. Their symbols stay as they
#   are; only absolute addresses point into them.
function(qf_stub_link_script target)
  execute_process(COMMAND ${QF_TRIPLE}-ld --verbose OUTPUT_VARIABLE verbose RESULT_VARIABLE failed)
  string(REGEX MATCH "\n=+\n(.*)\n=+\n" script "${verbose}")
  set(script "${CMAKE_MATCH_1}")
  set(frames "  .eh_frame BLOCK(__section_alignment__) :\n  {\n    KEEP(*(.eh_frame*))\n  }")
  string(REGEX MATCH "  \\.CRT BLOCK\\(__section_alignment__\\) :\n  {\n([^}]*)  }\n" crt "${script}")
  set(crt_body "${CMAKE_MATCH_1}")
  set(data_end "    *(.data_cygwin_nocopy)\n  }\n")
  string(FIND "${script}" "${frames}" frames_at)
  string(FIND "${script}" "${data_end}" data_at)
  if(failed OR frames_at EQUAL -1 OR data_at EQUAL -1 OR NOT crt_body)
    message(FATAL_ERROR "the linker's default script is laid out in no way known here")
  endif()
  string(REPLACE "${frames}" "  /DISCARD/ :\n  {\n    *(.eh_frame*)\n  }" script "${script}")
  string(REPLACE "${crt}" "" script "${script}")
  string(REGEX MATCH "  \\.rdata BLOCK\\(__section_alignment__\\) :\n  {\n([^}]*)  }\n((  [^\n]*= [^\n]*;\n)+)" rdata "${script}")
  set(rdata_body "${CMAKE_MATCH_1}${CMAKE_MATCH_2}")
  set(text_end "     KEEP (*(.gcc_except_table))\n  }\n")
  string(FIND "${script}" "${text_end}" text_at)
  if(NOT rdata_body OR text_at EQUAL -1)
    message(FATAL_ERROR "the linker's default script is laid out in no way known here")
  endif()
  string(REPLACE "${rdata}" "" script "${script}")
  string(REPLACE "${text_end}" "     KEEP (*(.gcc_except_table))\n${rdata_body}  }\n" script "${script}")
  # The thread-data markers have no place in the default script: the linker would make them a section.
  set(crt_body "${crt_body}    KEEP (*(SORT(.CRT$XD*)))\n")
  string(REPLACE "${data_end}" "    *(.data_cygwin_nocopy)\n    . = ALIGN(4);\n${crt_body}  }\n" script "${script}")
  set(path ${CMAKE_CURRENT_BINARY_DIR}/stub.ld)
  file(WRITE ${path} "${script}\n")
  target_link_options(${target} PRIVATE -Wl,-T,${path})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${path})
endfunction()
