# qf_delay_import(target dll...)
# Links `target` so that the named system DLLs are loaded on first use instead
# of at start-up: by then the program has restricted DLL loading to System32,
# so neither these DLLs nor anything they pull in can come from a folder
# beside the program. The delay-load libraries carry the ordinary names and
# are searched first, so every -l<dll> of the target's dependencies uses them.
function(qf_delay_import target)
  set(dir ${CMAKE_BINARY_DIR}/delayimp)
  set(libs)
  foreach(dll ${ARGN})
    add_custom_command(OUTPUT ${dir}/lib${dll}.a
      COMMAND bash ${PROJECT_SOURCE_DIR}/cmake/make-delay-lib.sh ${QF_TRIPLE} ${dll} ${dir}
      DEPENDS ${PROJECT_SOURCE_DIR}/cmake/make-delay-lib.sh
      COMMENT "Delay-load import library for ${dll}.dll")
    list(APPEND libs ${dir}/lib${dll}.a)
  endforeach()
  add_custom_target(${target}_delay_imports DEPENDS ${libs})
  add_dependencies(${target} ${target}_delay_imports)
  target_link_directories(${target} BEFORE PRIVATE ${dir})
  target_link_libraries(${target} PRIVATE ${ARGN} delayimp)
  # Keeps the loader thunk of every delay-loaded function the program uses.
  set_target_properties(${target} PROPERTIES CXX_LINKER_LAUNCHER
    "bash;${PROJECT_SOURCE_DIR}/cmake/link-delay-thunks.sh;${dir};${QF_TRIPLE}-nm;--")
  # A changed script links the program again.
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/link-delay-thunks.sh)
endfunction()
