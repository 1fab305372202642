# What `cmake --install` puts where, the CMake package and the pkg-config file
# a parent finds corvel by, and the Debian package cpack makes of the same tree.
# Targets another folder has not built (the tools off Linux, the host without
# the VST 3 SDK) are left out rather than failing the configure.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(CORVEL_VERSION 0.1.0)
set(corvel_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/corvel)

# Everything installed, so that one build target makes the tree whole
# without the tests and benches.
add_custom_target(corvel_install_set)

# corvel_install_program(target): the host or a tool, into bin/.
function(corvel_install_program target)
  if(TARGET ${target})
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    add_dependencies(corvel_install_set ${target})
  endif()
endfunction()

# corvel_install_library(target name): a library a parent links, exported as
# corvel::name. A static library's own dependencies must be exported with it.
function(corvel_install_library target name)
  if(TARGET ${target})
    set_target_properties(${target} PROPERTIES EXPORT_NAME ${name})
    install(TARGETS ${target} EXPORT corvelTargets
      ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
      LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
      RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
      INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
    add_dependencies(corvel_install_set ${target})
  endif()
endfunction()

foreach(program corvel corvel-render corvel-soak corvel-scan)
  corvel_install_program(${program})
endforeach()

# The C++ client with the platform piece it links: the shared block and the
# process services, without the window system.
corvel_install_library(corvel_platform_ipc platform_ipc)
corvel_install_library(corvel_client client)
# session.h speaks C++20 (std::span): its users compile as C++20 too.
target_compile_features(corvel_client INTERFACE cxx_std_20)
corvel_install_library(corvel_shared corvel)
corvel_install_library(corvel_static corvel_static)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/corvel DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# find_package(corvel): relocatable, so an install tree may be moved.
install(EXPORT corvelTargets NAMESPACE corvel:: DESTINATION ${corvel_package_dir})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/corvelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/corvelConfig.cmake INSTALL_DESTINATION ${corvel_package_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/corvelConfigVersion.cmake
  VERSION ${CORVEL_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/corvelConfig.cmake ${PROJECT_BINARY_DIR}/corvelConfigVersion.cmake
  DESTINATION ${corvel_package_dir})

if(WIN32)
  return()
endif()

# corvel.pc names the prefix itself, and `cmake --install --prefix` or cpack
# choose that only when installing: the file is written then.
install(CODE "
  set(libdir \"${CMAKE_INSTALL_LIBDIR}\")
  set(includedir \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(version \"${CORVEL_VERSION}\")
  configure_file(\"${CMAKE_CURRENT_LIST_DIR}/corvel.pc.in\" \"${PROJECT_BINARY_DIR}/corvel.pc\" @ONLY)
  file(INSTALL \"${PROJECT_BINARY_DIR}/corvel.pc\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\")
")

# cpack -G DEB: one package with the host, the tools, the libraries and the
# headers, under /usr. DESTDIR staging keeps CMAKE_INSTALL_PREFIX at /usr
# while installing, which corvel.pc is written from.
set(CPACK_PACKAGE_NAME corvel)
set(CPACK_PACKAGE_VERSION ${CORVEL_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Out-of-process host for one instrument plug-in, with a C and C++ client library")
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "corvel maintainers <maintainers@corvel.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
# Depends comes from the libraries the programs link (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A shlibs file for packages built against libcorvel, and ldconfig after installing.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
include(CPack)
