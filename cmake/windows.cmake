# The shipped updater: a PE32 GUI program whose image must end before the
# package at 65536. Everything here keeps the image small and self-contained.
enable_language(RC)
set(IMAGE_LIMIT 65536)

file(GLOB UPDATER_WIN_PLATFORM_SOURCES CONFIGURE_DEPENDS platform/windows/*.cpp)
set(UPDATER_WIN_SOURCES ${UPDATER_CORE_SOURCES} ${UPDATER_WIN_PLATFORM_SOURCES} control/main_flow.cpp)
file(GLOB UPDATER_RESOURCES CONFIGURE_DEPENDS resources/*.rc)

add_executable(updater WIN32 ${UPDATER_WIN_SOURCES} ${UPDATER_RESOURCES})
target_include_directories(updater PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(updater PRIVATE
  $<$<COMPILE_LANGUAGE:CXX>:${UPDATER_CXX_FLAGS} -Os -msse2 -ffunction-sections
    -fdata-sections -fno-asynchronous-unwind-tables -fno-tree-loop-distribute-patterns>)
target_link_options(updater PRIVATE
  -s -static-libgcc -static-libstdc++ -Wl,--gc-sections -Wl,--no-insert-timestamp
  -Wl,--file-alignment,512 -Wl,-Map,${CMAKE_BINARY_DIR}/updater.map)
set_target_properties(updater PROPERTIES OUTPUT_NAME updater SUFFIX .exe)

add_custom_command(TARGET updater POST_BUILD
  COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:updater> -DLIMIT=${IMAGE_LIMIT}
          -P ${PROJECT_SOURCE_DIR}/cmake/check_size.cmake
  VERBATIM)

# Test-only helper programs for the Wine end-to-end suite live in e2e/.
if(EXISTS ${PROJECT_SOURCE_DIR}/e2e/CMakeLists.txt)
  add_subdirectory(e2e)
endif()
