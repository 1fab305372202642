# What the Windows build (cmake/mingw-w64.cmake) needs beyond the Linux one.

# Debian packages no Windows GoogleTest: build it from its sources.
set(CORVEL_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (Debian package googletest)")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${CORVEL_GOOGLETEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Paths baked into tests are handed to Windows calls; under Wine the Unix
# file system is drive Z:.
if(CMAKE_CROSSCOMPILING_EMULATOR MATCHES "wine")
  set(CORVEL_NATIVE_PATH_PREFIX "Z:")
endif()
