# Unwind tables for the functions a PE program keeps, and no others.
#
# GNU ld's default script for PE keeps every .eh_frame section whole
# (KEEP(*(.eh_frame*))), and each frame description points at the function it
# describes: --gc-sections then cannot drop any function that has unwind
# tables. Template instances (std::string's members from libstdc++, most of
# them unused) each come with their own .eh_frame$<name> section, so they can be
# dropped one by one: the program is linked twice.
#
#  1. A probe link whose script keeps only the plain .eh_frame sections (those
#     of the functions that are no template instances). --gc-sections drops
#     every template instance the program does not call; the map lists the
#     ones it keeps.
#  2. The program's link, whose script keeps the plain .eh_frame sections and
#     the .eh_frame$<name> sections of exactly those instances, and crtend.o's
#     table last: it starts with the zero word where the unwinder stops reading.
#
# A function kept without its unwind table would end the program when an
# exception passes through it, so after the second link every kept
# .text$<name> is checked to have its .eh_frame$<name> (when one exists) kept
# too, and crtend.o's table to be the last; if not, the program is deleted and
# the build fails.
#
# Used two ways:
#  - included from a CMakeLists.txt: live_unwind_tables(<program> <probe>) sets
#    both targets up (the probe is a second executable target with the same
#    objects and libraries);
#  - as a script (cmake -P) with MODE=script or MODE=check, run by the build.

# Writes the file only when its text changes: a linker script rewritten for
# nothing would link its program again at every build.
function(_write_if_changed path text)
  set(old "")
  if(EXISTS "${path}")
    file(READ "${path}" old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE "${path}" "${text}")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
  # The names of the input sections whose names start with PREFIX, as a part
  # of a linker map lists them (with the address on the same line, or on the
  # next one after a long name).
  function(_map_sections map_text prefix out)
    string(REGEX MATCHALL "\n ${prefix}[^ \n]+" found "${map_text}")
    list(TRANSFORM found REPLACE "^\n ${prefix}" "")
    list(REMOVE_DUPLICATES found)
    set(${out} "${found}" PARENT_SCOPE)
  endfunction()

  function(_split_map map linked_out discarded_out)
    file(READ "${map}" text)
    string(FIND "${text}" "\nLinker script and memory map" at)
    if(at LESS 0)
      message(FATAL_ERROR "${map}: no memory map")
    endif()
    string(SUBSTRING "${text}" 0 ${at} discarded)
    string(SUBSTRING "${text}" ${at} -1 linked)
    set(${linked_out} "${linked}" PARENT_SCOPE)
    set(${discarded_out} "${discarded}" PARENT_SCOPE)
  endfunction()

  if(MODE STREQUAL "script")
    # MAP: the probe's map; TEMPLATE: the script with @LIVE_UNWIND_TABLES@;
    # OUTPUT: the program's script.
    _split_map("${MAP}" linked discarded)
    _map_sections("${linked}" "\\.text\\$" live)
    list(SORT live)
    set(keep "")
    foreach(name IN LISTS live)
      string(APPEND keep "    KEEP(*(.eh_frame$${name}))\n")
    endforeach()
    file(READ "${TEMPLATE}" script)
    string(REPLACE "@LIVE_UNWIND_TABLES@" "${keep}" script "${script}")
    # Written only when it changes, so the program is not linked again for nothing.
    _write_if_changed("${OUTPUT}" "${script}")
  elseif(MODE STREQUAL "check")
    # MAP: the program's map; PROGRAM: deleted when a table is missing.
    _split_map("${MAP}" linked discarded)
    _map_sections("${discarded}" "\\.eh_frame\\$" dropped)
    set(missing "")
    foreach(name IN LISTS dropped)
      set(code_kept FALSE)
      set(table_kept FALSE)
      foreach(end " " "\n")
        string(FIND "${linked}" "\n .text$${name}${end}" at)
        if(at GREATER_EQUAL 0)
          set(code_kept TRUE)
        endif()
        string(FIND "${linked}" "\n .eh_frame$${name}${end}" at)
        if(at GREATER_EQUAL 0)
          set(table_kept TRUE)
        endif()
      endforeach()
      if(code_kept AND NOT table_kept)
        list(APPEND missing "${name}")
      endif()
    endforeach()
    # The unwinder reads the tables up to the zero word at the start of
    # crtend.o's: nothing may come after that one.
    string(REGEX MATCH "\n\\.eh_frame +0x[^\n]*\n(( [^\n]*)?\n)*" block "${linked}")
    string(REGEX MATCHALL "0x[0-9a-f]+ +0x[0-9a-f]+ [^\n]+" entries "${block}")
    set(last "")
    foreach(entry IN LISTS entries)
      if(NOT entry MATCHES "^0x[0-9a-f]+ +0x0+ ")
        set(last "${entry}")
      endif()
    endforeach()
    if(block MATCHES "crtend\\.o" AND NOT last MATCHES "crtend\\.o$")
      list(APPEND missing "(the table of crtend.o, which ends the list, is not last in .eh_frame)")
    endif()
    if(missing)
      file(REMOVE "${PROGRAM}")
      list(JOIN missing "\n  " missing)
      message(FATAL_ERROR "${PROGRAM}: functions kept without their unwind tables:\n  ${missing}")
    endif()
  else()
    message(FATAL_ERROR "MODE must be script or check")
  endif()
  return()
endif()

set(_LIVE_UNWIND_TABLES_SCRIPT "${CMAKE_CURRENT_LIST_FILE}")

# PROGRAM: an executable target; PROBE: the name of the probe target to create.
# Both link the objects and libraries given after OBJECTS and LIBRARIES.
function(live_unwind_tables program probe)
  cmake_parse_arguments(ARG "" "" "OBJECTS;LIBRARIES;LINK_OPTIONS" ${ARGN})
  # The default script of the linker the compiler driver runs.
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-prog-name=ld
                  OUTPUT_VARIABLE linker OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${linker} --verbose OUTPUT_VARIABLE verbose RESULT_VARIABLE result)
  set(rule "==================================================")
  string(FIND "${verbose}" "${rule}" first)
  string(FIND "${verbose}" "${rule}" last REVERSE)
  set(keep_all "KEEP(*(.eh_frame*))")
  if(NOT result EQUAL 0 OR first LESS 0 OR last LESS_EQUAL first)
    set(default_script "")
  else()
    string(LENGTH "${rule}" length)
    math(EXPR begin "${first} + ${length}")
    math(EXPR size "${last} - ${begin}")
    string(SUBSTRING "${verbose}" ${begin} ${size} default_script)
  endif()
  string(FIND "${default_script}" "${keep_all}" at)
  if(at LESS 0)
    message(STATUS "${program}: the linker's default script does not keep .eh_frame* as expected; "
                   "all unwind tables (and the functions they describe) stay in")
    return()
  endif()

  set(dir "${CMAKE_CURRENT_BINARY_DIR}/live-unwind-tables")
  string(REPLACE "${keep_all}" "KEEP(*(.eh_frame))" probe_script "${default_script}")
  # crtend.o's table starts with the zero word that ends the list the unwinder
  # walks: it stays last, after the template instances' tables.
  string(REPLACE "${keep_all}"
                 "KEEP(*(EXCLUDE_FILE(*crtend.o) .eh_frame))\n@LIVE_UNWIND_TABLES@    KEEP(*crtend.o(.eh_frame))"
                 template "${default_script}")
  set(probe_map "${dir}/${probe}.map")
  set(program_script "${dir}/${program}.ld")
  set(program_map "${dir}/${program}.map")
  _write_if_changed("${dir}/probe.ld" "${probe_script}")
  _write_if_changed("${dir}/${program}.ld.in" "${template}")
  # Until the probe has been linked, the program's script keeps every table.
  if(NOT EXISTS "${program_script}")
    file(WRITE "${program_script}" "${default_script}")
  endif()

  add_executable(${probe} WIN32 ${ARG_OBJECTS})
  target_link_libraries(${probe} PRIVATE ${ARG_LIBRARIES})
  target_link_options(${probe} PRIVATE ${ARG_LINK_OPTIONS} "-Wl,-T,${dir}/probe.ld" "-Wl,-Map=${probe_map}")
  set_target_properties(${probe} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${dir}"
                        LINK_DEPENDS "${dir}/probe.ld")
  add_custom_command(TARGET ${probe} POST_BUILD
    BYPRODUCTS "${program_script}"
    COMMAND ${CMAKE_COMMAND} -DMODE=script "-DMAP=${probe_map}" "-DTEMPLATE=${dir}/${program}.ld.in"
            "-DOUTPUT=${program_script}" -P "${_LIVE_UNWIND_TABLES_SCRIPT}"
    VERBATIM)

  add_dependencies(${program} ${probe})
  target_link_options(${program} PRIVATE "-Wl,-T,${program_script}" "-Wl,-Map=${program_map}")
  set_property(TARGET ${program} APPEND PROPERTY LINK_DEPENDS "${program_script}")
  add_custom_command(TARGET ${program} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DMODE=check "-DMAP=${program_map}" "-DPROGRAM=$<TARGET_FILE:${program}>"
            -P "${_LIVE_UNWIND_TABLES_SCRIPT}"
    VERBATIM)
endfunction()
