# Every test has a time limit, so a test that hangs (a deadlock, a window
# nobody answers under Wine) fails by itself instead of running until CI stops
# the whole job.
#
# Tests are added with setup_add_test(), which takes add_test()'s NAME, COMMAND
# and WORKING_DIRECTORY and a TIMEOUT in seconds; a test that names none gets
# SETUP_TEST_TIMEOUT. A test added with add_test() directly stops the
# configuration with a message, so no test runs without a limit.

set(SETUP_TEST_TIMEOUT 60 CACHE STRING "Seconds a test may run when it names no limit of its own")

function(setup_add_test)
  cmake_parse_arguments(PARSE_ARGV 0 ARG "" "NAME;TIMEOUT;WORKING_DIRECTORY" "COMMAND")
  if(NOT ARG_NAME OR NOT ARG_COMMAND OR ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "usage: setup_add_test(NAME <name> COMMAND <command> [<arg>...] "
                        "[WORKING_DIRECTORY <dir>] [TIMEOUT <seconds>])")
  endif()
  set(where)
  if(ARG_WORKING_DIRECTORY)
    set(where WORKING_DIRECTORY "${ARG_WORKING_DIRECTORY}")
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT ${SETUP_TEST_TIMEOUT})
  endif()
  add_test(NAME ${ARG_NAME} COMMAND ${ARG_COMMAND} ${where})
  set_tests_properties(${ARG_NAME} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
  set_property(GLOBAL APPEND PROPERTY SETUP_TIMED_TESTS ${ARG_NAME})
endfunction()

# Run once the whole tree is read: every test of every directory must have
# come through setup_add_test().
function(setup_check_test_timeouts)
  get_property(timed GLOBAL PROPERTY SETUP_TIMED_TESTS)
  set(directories "${CMAKE_SOURCE_DIR}")
  while(directories)
    list(POP_FRONT directories directory)
    get_property(tests DIRECTORY "${directory}" PROPERTY TESTS)
    foreach(test IN LISTS tests)
      if(NOT test IN_LIST timed)
        message(FATAL_ERROR "Test ${test} in ${directory} has no time limit: "
                            "add it with setup_add_test() (cmake/TestTimeouts.cmake)")
      endif()
    endforeach()
    get_property(subdirectories DIRECTORY "${directory}" PROPERTY SUBDIRECTORIES)
    list(APPEND directories ${subdirectories})
  endwhile()
endfunction()
cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL setup_check_test_timeouts)
