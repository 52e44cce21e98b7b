# Compiler settings shared by every target of the project.
add_library(qf_options INTERFACE)
target_compile_options(qf_options INTERFACE -Wall -Wextra -Werror)

if(WIN32)
  target_compile_definitions(qf_options INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                  _WIN32_WINNT=0x0601)
  target_compile_options(qf_options INTERFACE -municode)
  # Programs with a wmain or wWinMain add -municode to their own link.
  target_link_options(qf_options INTERFACE -static -static-libgcc -static-libstdc++)
endif()

if(QF_SANITIZE)
  target_compile_options(qf_options INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all
                                              -fno-omit-frame-pointer)
  target_link_options(qf_options INTERFACE -fsanitize=address,undefined)
endif()

if(QF_SHIPPING)
  # Nothing in the project throws or catches, nor asks a type at run time:
  # without them a static build carries no unwinder and no unwind tables.
  # The objects also carry what link-time optimisation needs: the stub is
  # linked with it (a ninth smaller), every other program without (the
  # compiler fails on the package builder's).
  target_compile_options(qf_options INTERFACE -Os -ffunction-sections -fdata-sections -fno-exceptions -fno-rtti
                                              -fno-asynchronous-unwind-tables -flto -ffat-lto-objects)
  target_link_options(qf_options INTERFACE -s -Wl,--gc-sections
                      $<IF:$<STREQUAL:$<TARGET_PROPERTY:NAME>,quillfen-stub>,-flto;-Os,-fno-lto>)
endif()

# qf_include_root(target folder [HEADERS ...])
# A library's headers are seen as "<folder name>/Header.h" through an include root
# of its own, and only by the targets that link it: a header of a library the
# target does not depend on is not found. With HEADERS only those are shown.
function(qf_include_root target folder)
  cmake_parse_arguments(ARG "" "" "HEADERS" ${ARGN})
  get_filename_component(name ${folder} NAME)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  file(REMOVE_RECURSE ${root})
  if(ARG_HEADERS)
    file(MAKE_DIRECTORY ${root}/${name})
    foreach(header ${ARG_HEADERS})
      file(CREATE_LINK ${folder}/${header} ${root}/${name}/${header} SYMBOLIC)
    endforeach()
  else()
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${folder} ${root}/${name} SYMBOLIC)
  endif()
  target_include_directories(${target} PUBLIC ${root})
endfunction()

# qf_add_library(name SOURCES ... [WIN32_SOURCES ...] [POSIX_SOURCES ...] [DEPS ...] [HEADERS ...])
# One static library per subsystem; platform-specific files join only where they build.
function(qf_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;WIN32_SOURCES;POSIX_SOURCES;DEPS;WIN32_DEPS;HEADERS" ${ARGN})
  set(sources ${ARG_SOURCES})
  if(WIN32)
    list(APPEND sources ${ARG_WIN32_SOURCES})
  else()
    list(APPEND sources ${ARG_POSIX_SOURCES})
  endif()
  add_library(${name} STATIC ${sources})
  qf_include_root(${name} ${CMAKE_CURRENT_SOURCE_DIR} HEADERS ${ARG_HEADERS})
  target_link_libraries(${name} PUBLIC qf_options ${ARG_DEPS})
  if(WIN32)
    target_link_libraries(${name} PUBLIC ${ARG_WIN32_DEPS})
  endif()
endfunction()
