# The VST 3 SDK that scripts/setup.d/30-vst3sdk.sh unpacks into the cache.
# Sets CORVEL_VST3SDK_FOUND and, when found, CORVEL_VST3SDK_DIR, CORVEL_VST3_SAMPLES_DIR and
# target corvel_vst3_sdk (the SDK's hosting helpers plus the two files sdk_hosting lacks).
set(CORVEL_VST3SDK_DIR ${CORVEL_CACHE}/vst3sdk)
if(WIN32)
  set(CORVEL_VST3_SAMPLES_DIR ${CORVEL_CACHE}/vst3sdk-build-windows/VST3/Release)
else()
  set(CORVEL_VST3_SAMPLES_DIR ${CORVEL_CACHE}/vst3sdk-build/VST3/Release)
endif()
set(CORVEL_VST3SDK_FOUND OFF)

if(NOT EXISTS ${CORVEL_VST3SDK_DIR}/CMakeLists.txt)
  message(STATUS "VST 3 SDK not found in ${CORVEL_VST3SDK_DIR} (run scripts/setup.d/30-vst3sdk.sh); VST 3 support is not built")
  return()
endif()

# Only the library code is wanted; its editors, sample hosts, validator and plug-ins are not.
set(SMTG_ENABLE_VSTGUI_SUPPORT OFF CACHE BOOL "" FORCE)
set(SMTG_ENABLE_VST3_PLUGIN_EXAMPLES OFF CACHE BOOL "" FORCE)
set(SMTG_ENABLE_VST3_HOSTING_EXAMPLES OFF CACHE BOOL "" FORCE)
set(SMTG_RUN_VST_VALIDATOR OFF CACHE BOOL "" FORCE)
set(SMTG_CREATE_PLUGIN_LINK OFF CACHE BOOL "" FORCE)
set(SMTG_CREATE_MODULE_INFO OFF CACHE BOOL "" FORCE)
add_subdirectory(${CORVEL_VST3SDK_DIR} ${CMAKE_BINARY_DIR}/vst3sdk EXCLUDE_FROM_ALL)

# Their headers are third-party code: keep our warnings-as-errors away from them.
set_target_properties(sdk_hosting sdk_common base pluginterfaces PROPERTIES SYSTEM ON)

# The bundle layout: the folder under Contents/ that holds the module, and its name's end.
if(WIN32)
  set(CORVEL_VST3_MODULE_LOADER module_win32.cpp)
  set(CORVEL_VST3_ARCH_FOLDER x86_64-win)
  set(CORVEL_VST3_MODULE_SUFFIX .vst3)
else()
  set(CORVEL_VST3_MODULE_LOADER module_linux.cpp)
  set(CORVEL_VST3_ARCH_FOLDER x86_64-linux)
  set(CORVEL_VST3_MODULE_SUFFIX .so)
endif()
add_library(corvel_vst3_sdk STATIC EXCLUDE_FROM_ALL
  ${CORVEL_VST3SDK_DIR}/public.sdk/source/vst/hosting/${CORVEL_VST3_MODULE_LOADER}
  ${CORVEL_VST3SDK_DIR}/public.sdk/source/common/memorystream.cpp)
target_link_libraries(corvel_vst3_sdk PUBLIC sdk_hosting ${CMAKE_DL_LIBS} Threads::Threads)
set_target_properties(corvel_vst3_sdk PROPERTIES SYSTEM ON)
set(CORVEL_VST3SDK_FOUND ON)
