# Helpers shared by every folder's CMakeLists.

# Our own code is held to warnings-as-errors; third-party code is not.
function(corvel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# corvel_library(name SOURCES ... [LIBS ...]): a static library of ours.
function(corvel_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>)
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  corvel_warnings(${name})
endfunction()

# corvel_test(name SOURCES ... [LIBS ...] [WITHOUT_DISPLAY]): a GoogleTest binary
# registered with ctest; WITHOUT_DISPLAY runs it with DISPLAY unset, so that it
# sees no window system whatever desktop ctest was started from.
# Discovery runs at test time so a sanitizer build never runs binaries while building.
function(corvel_test name)
  cmake_parse_arguments(ARG "WITHOUT_DISPLAY" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  corvel_warnings(${name})
  set(properties ENVIRONMENT "CORVEL_BUILD_DIR=${PROJECT_BINARY_DIR}")
  if(ARG_WITHOUT_DISPLAY)
    list(APPEND properties ENVIRONMENT_MODIFICATION "DISPLAY=unset:")
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ${properties})
endfunction()
