# Linux build of the same code over the POSIX platform layer, plus the tools,
# the tests and the benchmarks.
option(UPDATER_SANITIZE "Build with AddressSanitizer and UBSan" OFF)
if(UPDATER_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

file(GLOB PLATFORM_SOURCES CONFIGURE_DEPENDS platform/posix/*.cpp)
list(FILTER PLATFORM_SOURCES EXCLUDE REGEX "platform/posix/entry\\.cpp$")

add_library(updcore STATIC ${UPDATER_CORE_SOURCES} ${PLATFORM_SOURCES})
target_include_directories(updcore PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_options(updcore PRIVATE ${UPDATER_CXX_FLAGS})

if(EXISTS ${PROJECT_SOURCE_DIR}/control/main_flow.cpp)
  add_executable(updater control/main_flow.cpp platform/posix/entry.cpp)
  target_compile_options(updater PRIVATE ${UPDATER_CXX_FLAGS})
  target_link_libraries(updater PRIVATE updcore)
endif()

# Package writer: library code for the packing tool and the tests.
file(GLOB PACKWRITER_SOURCES CONFIGURE_DEPENDS tools/packwriter/*.cpp)
if(PACKWRITER_SOURCES)
  add_library(packwriter STATIC ${PACKWRITER_SOURCES})
  find_package(Threads REQUIRED)
  target_link_libraries(packwriter PUBLIC updcore Threads::Threads)
endif()

file(GLOB UPDPACK_SOURCES CONFIGURE_DEPENDS tools/updpack/*.cpp)
add_executable(updpack ${UPDPACK_SOURCES})
target_link_libraries(updpack PRIVATE updcore $<TARGET_NAME_IF_EXISTS:packwriter>)
if(NOT UPDATER_SANITIZE)
  # One file to hand to a publisher, and it starts in less time than cp.
  target_link_options(updpack PRIVATE -static-libstdc++ -static-libgcc)
endif()

enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)
file(GLOB_RECURSE UNIT_TEST_SOURCES CONFIGURE_DEPENDS tests/*_test.cpp tests/support/*.cpp)
add_executable(unit_tests ${UNIT_TEST_SOURCES})
target_link_libraries(unit_tests PRIVATE updcore $<TARGET_NAME_IF_EXISTS:packwriter>
  GTest::gtest GTest::gtest_main GTest::gmock)
target_include_directories(unit_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
gtest_discover_tests(unit_tests DISCOVERY_MODE PRE_TEST
  PROPERTIES ENVIRONMENT "UPDPACK=$<TARGET_FILE:updpack>")

# Shell-driven tests (tools, the native updater, the Windows image) register
# themselves from tests/CMakeLists.txt.
if(EXISTS ${PROJECT_SOURCE_DIR}/tests/CMakeLists.txt)
  add_subdirectory(tests)
endif()

if(NOT UPDATER_SANITIZE AND EXISTS ${PROJECT_SOURCE_DIR}/bench/CMakeLists.txt)
  add_subdirectory(bench)
endif()
if(EXISTS ${PROJECT_SOURCE_DIR}/fuzz/CMakeLists.txt)
  add_subdirectory(fuzz)
endif()
