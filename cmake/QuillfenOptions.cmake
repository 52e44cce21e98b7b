# Compiler settings shared by every target of the project.
add_library(qf_options INTERFACE)
target_compile_options(qf_options INTERFACE -Wall -Wextra -Werror)
target_include_directories(qf_options INTERFACE ${PROJECT_SOURCE_DIR}/src)

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

# qf_add_library(name SOURCES ... [WIN32_SOURCES ...] [POSIX_SOURCES ...] [DEPS ...])
# One static library per subsystem; platform-specific files join only where they build.
function(qf_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;WIN32_SOURCES;POSIX_SOURCES;DEPS;WIN32_DEPS" ${ARGN})
  set(sources ${ARG_SOURCES})
  if(WIN32)
    list(APPEND sources ${ARG_WIN32_SOURCES})
  else()
    list(APPEND sources ${ARG_POSIX_SOURCES})
  endif()
  add_library(${name} STATIC ${sources})
  target_link_libraries(${name} PUBLIC qf_options ${ARG_DEPS})
  if(WIN32)
    target_link_libraries(${name} PUBLIC ${ARG_WIN32_DEPS})
  endif()
endfunction()
