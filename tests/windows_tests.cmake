# The Windows build's tests (cross build with cmake/mingw-w64-x86_64.cmake,
# run under Wine through CMAKE_CROSSCOMPILING_EMULATOR).
#
# Test programs left out of the Windows build:
# - every one that starts the program (runProgram) or uses the POSIX side of
#   the test kit or the system (fork, pipes, FIFOs, permission bits, resource
#   limits): these include the end-to-end tests, which run on the Linux side
#   against vantorell.exe instead (windows_e2e.* below);
# - and any listed here, for the reason given (none at present).
set(vantorell_not_on_windows)
set(vantorell_posix_only_pattern "runProgram|runUnprivileged|#include <(unistd|poll|fcntl)\\.h>|#include <sys/")
set(vantorell_e2e_sources)
foreach(source IN LISTS test_sources)
  file(RELATIVE_PATH relative ${CMAKE_CURRENT_SOURCE_DIR} ${source})
  file(READ ${source} text)
  if(text MATCHES "runProgram")
    list(APPEND vantorell_e2e_sources ${source})
  endif()
  if(relative IN_LIST vantorell_not_on_windows OR text MATCHES "${vantorell_posix_only_pattern}")
    list(REMOVE_ITEM test_sources ${source})
    list(APPEND vantorell_left_out ${relative})
  endif()
endforeach()
list(JOIN vantorell_left_out ", " vantorell_left_out)
message(STATUS "Test programs not built for Windows: ${vantorell_left_out}")

# The end-to-end tests: the Linux build's test programs run vantorell.exe
# through the emulator and compare its standard output, standard error, exit
# status and files byte for byte with the expectations the Linux build meets.
# VANTORELL_HOST_TESTS names the Linux build's tests directory.
set(VANTORELL_HOST_TESTS "" CACHE PATH "The Linux build's tests directory, for the end-to-end tests of vantorell.exe")
# Tests of those programs that cannot hold for a Windows program:
set(vantorell_e2e_excluded
  # Checks the Linux generator of the example model, not the program.
  ExampleModel.GeneratorWritesTheCheckedInFiles
  # A Unix FIFO is no Windows named pipe (\\.\pipe\...): under Wine it is an
  # ordinary path, and the writer the test forks never meets a reader.
  Extraction.HeadsFileMayBeANamedPipe
  # Checks the POSIX permission bits 0600 of the created file; Windows has a
  # read-only attribute only, which is left off (Wine shows 0644).
  Extraction.MistypedDiscretizationPathIsCreatedEmptyAndStays
)
list(JOIN vantorell_e2e_excluded ":" vantorell_e2e_filter)
if(VANTORELL_HOST_TESTS)
  if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    message(FATAL_ERROR "VANTORELL_HOST_TESTS needs CMAKE_CROSSCOMPILING_EMULATOR (wine64)")
  endif()
  foreach(source IN LISTS vantorell_e2e_sources)
    get_filename_component(name ${source} NAME_WE)
    add_test(NAME windows_e2e.${name} COMMAND ${VANTORELL_HOST_TESTS}/${name} --gtest_filter=-${vantorell_e2e_filter})
    # One at a time: many Wine processes starting and ending at once is where
    # Wine has been seen to stall.
    set_tests_properties(windows_e2e.${name} PROPERTIES TIMEOUT 120 RUN_SERIAL TRUE
      ENVIRONMENT "VANTORELL_EXE_UNDER_TEST=$<TARGET_FILE:vantorell>;VANTORELL_RUNNER=${CMAKE_CROSSCOMPILING_EMULATOR}")
  endforeach()
endif()
