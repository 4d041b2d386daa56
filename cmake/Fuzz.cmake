# The configuration store against hostile files.
#
# In every build with SIDEKEY_TESTS (any compiler, with or without
# SIDEKEY_SANITIZE), two ctest entries:
#   config_store_replay   the fuzz target run once on each input of
#                         fuzz/corpus/ (realistic files) and fuzz/regressions/
#                         (the inputs of past findings)
#   store_limits_tests    unit tests of the limits the store puts on files
#
# With clang and SIDEKEY_FUZZ=ON, the libFuzzer target (not part of ALL):
#   CXX=clang++ cmake -S . -B build-fuzz -DSIDEKEY_FUZZ=ON
#   cmake --build build-fuzz --target config_store_fuzzer
#   build-fuzz/config_store_fuzzer -dict=fuzz/config.dict CORPUS_DIR fuzz/corpus fuzz/regressions
# test.sh runs it for a bounded time; fuzz/README.md tells how to run it
# longer and what to do with what it finds.

option(SIDEKEY_FUZZ "Build the libFuzzer target config_store_fuzzer (clang only)" OFF)

set(SIDEKEY_FUZZ_DIR ${CMAKE_SOURCE_DIR}/fuzz)

if(SIDEKEY_TESTS)
  find_package(GTest REQUIRED)

  add_executable(config_store_replay
    ${SIDEKEY_FUZZ_DIR}/config_store_fuzzer.cpp
    ${SIDEKEY_FUZZ_DIR}/replay_main.cpp)
  target_link_libraries(config_store_replay PRIVATE sidekey_core)
  add_test(NAME config_store_replay
           COMMAND config_store_replay ${SIDEKEY_FUZZ_DIR}/corpus ${SIDEKEY_FUZZ_DIR}/regressions)

  add_executable(store_limits_tests ${SIDEKEY_FUZZ_DIR}/store_limits_test.cpp)
  target_link_libraries(store_limits_tests PRIVATE sidekey_core GTest::gtest GTest::gtest_main)
  target_include_directories(store_limits_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit)
  add_test(NAME store_limits_tests COMMAND store_limits_tests)
  # A pipe in place of the file must not block the store.
  set_tests_properties(store_limits_tests config_store_replay PROPERTIES TIMEOUT 300)
endif()

if(SIDEKEY_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "SIDEKEY_FUZZ needs clang (libFuzzer): configure with CXX=clang++")
  endif()
  # The store is compiled into the target itself, so that libFuzzer sees its
  # branches; TinyXML is Debian's library, as in the program.
  add_executable(config_store_fuzzer EXCLUDE_FROM_ALL
    ${SIDEKEY_FUZZ_DIR}/config_store_fuzzer.cpp
    ${CMAKE_SOURCE_DIR}/src/config/CConfigXML.cpp)
  target_include_directories(config_store_fuzzer PRIVATE ${CMAKE_SOURCE_DIR}/src)
  set(fuzz_flags -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
  target_compile_options(config_store_fuzzer PRIVATE ${fuzz_flags} -fno-omit-frame-pointer -g)
  target_link_options(config_store_fuzzer PRIVATE ${fuzz_flags})
  target_link_libraries(config_store_fuzzer PRIVATE ${wxWidgets_LIBRARIES} PkgConfig::TINYXML)
endif()
