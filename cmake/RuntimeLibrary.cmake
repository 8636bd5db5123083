# Libraries the programs open when first needed instead of linking them
# (base/SharedLibrary.h): libcurl for downloads, SQLite for Firefox's
# bookmarks. Most runs of tallyhawk-cli need neither, and linking them made
# every start load and relocate them and, for libcurl, thirty-odd more.
# OFF links them as usual (static builds, platforms without dlopen).
option(TALLYHAWK_LOAD_LIBRARIES_LAZILY
       "Open libcurl and SQLite when first needed instead of linking them" ON)
if(WIN32)
  set(TALLYHAWK_LOAD_LIBRARIES_LAZILY OFF)
endif()
# The packages that hold them, for the Debian package's dependencies
# (cmake/Install.cmake), which cannot be read from the programs.
set_property(GLOBAL PROPERTY TALLYHAWK_RUNTIME_PACKAGES "")

# tallyhawk_load_at_run_time(TARGET target LIBRARY path DEFINE macro
#                            SONAME fallback PACKAGE fallback)
# Compiles `target` with `macro` set to the library's soname (read from the
# library found, else the fallback), and records the Debian package that
# holds it (asked of dpkg, else the fallback).
function(tallyhawk_load_at_run_time)
  cmake_parse_arguments(L "" "TARGET;LIBRARY;DEFINE;SONAME;PACKAGE" "" ${ARGN})
  set(soname "")
  find_program(TALLYHAWK_OBJDUMP NAMES ${CMAKE_OBJDUMP} objdump)
  if(TALLYHAWK_OBJDUMP AND EXISTS "${L_LIBRARY}")
    execute_process(COMMAND ${TALLYHAWK_OBJDUMP} -p ${L_LIBRARY}
                    OUTPUT_VARIABLE headers ERROR_QUIET)
    if(headers MATCHES "SONAME +([^\n ]+)")
      set(soname "${CMAKE_MATCH_1}")
    endif()
  endif()
  if(NOT soname)
    set(soname "${L_SONAME}")
  endif()
  set(package "${L_PACKAGE}")
  get_filename_component(directory "${L_LIBRARY}" DIRECTORY)
  find_program(TALLYHAWK_DPKG_QUERY dpkg-query)
  if(TALLYHAWK_DPKG_QUERY AND EXISTS "${directory}/${soname}")
    get_filename_component(file "${directory}/${soname}" REALPATH)
    execute_process(COMMAND ${TALLYHAWK_DPKG_QUERY} -S "${file}"
                    OUTPUT_VARIABLE owner ERROR_QUIET)
    if(owner MATCHES "^([^:,]+)")
      set(package "${CMAKE_MATCH_1}")
    endif()
  endif()
  message(STATUS "${soname} opened at run time (package ${package})")
  target_compile_definitions(${L_TARGET} PRIVATE ${L_DEFINE}="${soname}")
  set_property(GLOBAL APPEND PROPERTY TALLYHAWK_RUNTIME_PACKAGES "${package}")
endfunction()
