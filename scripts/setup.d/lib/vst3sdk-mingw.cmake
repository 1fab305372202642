# Included right after the SDK's project() call (CMAKE_PROJECT_vstsdk_INCLUDE) when its
# samples are cross-built with MinGW-w64. Corrects, at configure time, what the SDK gets
# wrong when cross-building; the SDK's sources stay as they are.

# The SDK detects its target platform before project() has read the toolchain file, so
# it takes a cross build for a build on this machine (Linux).
set(SMTG_LINUX FALSE CACHE INTERNAL "")
set(SMTG_WIN TRUE CACHE INTERNAL "")

# public.sdk includes <Windows.h>; MinGW-w64's header is windows.h, and this file system
# tells the two apart.
set(corvel_case_aliases "${CMAKE_BINARY_DIR}/corvel-case-aliases")
file(WRITE "${corvel_case_aliases}/Windows.h" "#include <windows.h>\n")
include_directories(BEFORE SYSTEM "${corvel_case_aliases}")

# The sdk library's data exchange utility calls std::aligned_alloc, which MinGW-w64's C
# runtime lacks; no sample we build uses that utility, so it is left out of the library.
function(corvel_leave_out_data_exchange)
  get_target_property(sources sdk SOURCES)
  list(FILTER sources EXCLUDE REGEX "utility/dataexchange\\.cpp$")
  set_property(TARGET sdk PROPERTY SOURCES ${sources})
endfunction()
cmake_language(DEFER CALL corvel_leave_out_data_exchange)

# The bundle's Explorer folder icon is set with Windows' attrib command, which does not
# exist here; the icon is cosmetic, so it is not added.
function(smtg_target_add_folder_icon target icon)
endfunction()
