# Shared modules keep the file names the suite knows them by ("kvcard.dll"),
# so that loading by name and writing copies out work unchanged.
function(murmex_shared_module target file_stem)
  set_target_properties(${target} PROPERTIES PREFIX "" SUFFIX ".dll" OUTPUT_NAME ${file_stem})
endfunction()

# A test executable registered with CTest; label lets CI pick the core set.
function(murmex_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES LABELS "${T_LABELS}"
    ENVIRONMENT "MURMEX_BIN_DIR=${MURMEX_BIN_DIR}")
endfunction()
