# The Windows build's tests (cross build with cmake/mingw-w64-x86_64.cmake,
# run under Wine through CMAKE_CROSSCOMPILING_EMULATOR).
#
# Unit test programs that are left out of the Windows build, each for its
# reason; everything else is built for Windows and run under the emulator.
set(vantorell_not_on_windows
  # Start the program as a child process through the POSIX test kit; they run
  # on the Linux side against vantorell.exe instead (windows_e2e.* below).
  e2e/example_model_test.cpp
  e2e/extraction_test.cpp
  e2e/table_test.cpp
  # fork, pipes, named pipes and resource limits (sys/resource.h).
  records/binary_records_test.cpp
  # POSIX permission bits, mkdir with a mode, pipes, and an unprivileged child.
  records/file_units_test.cpp
  # Opens a directory with O_DIRECTORY.
  records/text_input_test.cpp
  # A non-blocking pipe (pipe, fcntl, O_NONBLOCK).
  records/text_output_test.cpp
  # Converts a std::filesystem::path to std::string implicitly, which only
  # compiles where paths are narrow strings.
  model/discretization_test.cpp
)
foreach(excluded IN LISTS vantorell_not_on_windows)
  list(REMOVE_ITEM test_sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
endforeach()

# The end-to-end tests: the Linux build's test programs run vantorell.exe
# through the emulator and compare its standard output, standard error, exit
# status and files byte for byte with the expectations the Linux build meets.
# VANTORELL_HOST_TESTS names the Linux build's tests directory.
set(VANTORELL_HOST_TESTS "" CACHE PATH "The Linux build's tests directory, for the end-to-end tests of vantorell.exe")
set(vantorell_e2e_filter_example_model_test
  # Checks the Linux generator of the example model, not the program.
  -ExampleModel.GeneratorWritesTheCheckedInFiles)
set(vantorell_e2e_filter_table_test "")
set(vantorell_e2e_filter_extraction_test
  # A Unix FIFO is no Windows named pipe (\\.\pipe\...): under Wine it is an
  # ordinary path, and the writer the test forks never meets a reader.
  -Extraction.HeadsFileMayBeANamedPipe
  # Checks the POSIX permission bits 0600 of the created file; Windows has a
  # read-only attribute only, which is left off (Wine shows 0644).
  Extraction.MistypedDiscretizationPathIsCreatedEmptyAndStays)
list(JOIN vantorell_e2e_filter_extraction_test ":" vantorell_e2e_filter_extraction_test)
if(VANTORELL_HOST_TESTS)
  if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    message(FATAL_ERROR "VANTORELL_HOST_TESTS needs CMAKE_CROSSCOMPILING_EMULATOR (wine64)")
  endif()
  foreach(name example_model_test table_test extraction_test)
    set(filter ${vantorell_e2e_filter_${name}})
    if(filter)
      set(filter_option --gtest_filter=${filter})
    else()
      set(filter_option)
    endif()
    add_test(NAME windows_e2e.${name} COMMAND ${VANTORELL_HOST_TESTS}/${name} ${filter_option})
    set_tests_properties(windows_e2e.${name} PROPERTIES TIMEOUT 300
      ENVIRONMENT "VANTORELL_EXE_UNDER_TEST=$<TARGET_FILE:vantorell>;VANTORELL_RUNNER=${CMAKE_CROSSCOMPILING_EMULATOR}")
  endforeach()
endif()
