# Helpers shared by every folder's CMakeLists.

# Our own code is held to warnings-as-errors; third-party code is not.
function(corvel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# corvel_library(name SOURCES ... [LIBS ...]): a static library of ours.
function(corvel_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  corvel_warnings(${name})
endfunction()

# corvel_test(name SOURCES ... [LIBS ...]): a GoogleTest binary registered with ctest.
# Discovery runs at test time so a sanitizer build never runs binaries while building.
function(corvel_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  corvel_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "CORVEL_BUILD_DIR=${PROJECT_BINARY_DIR}")
endfunction()
