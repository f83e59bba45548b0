# Shared build settings for every target of ours.
add_library(altivane_warnings INTERFACE)
if(MSVC)
  target_compile_options(altivane_warnings INTERFACE /W4 /WX)
else()
  target_compile_options(altivane_warnings INTERFACE -Wall -Wextra -Werror)
endif()

# Sources of a folder, without the program entry points (main_posix.cpp, main_win32.cpp).
function(altivane_glob_sources out)
  set(_all "")
  foreach(_dir IN LISTS ARGN)
    file(GLOB _found CONFIGURE_DEPENDS "${_dir}/*.cpp")
    list(APPEND _all ${_found})
  endforeach()
  list(FILTER _all EXCLUDE REGEX "/main_(posix|win32)\\.cpp$")
  set(${out} ${_all} PARENT_SCOPE)
endfunction()

# A program of ours linked to the core library.
function(altivane_program name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE altivane_core altivane_warnings)
endfunction()
