# The Wine end-to-end scenarios, one CTest test each (label e2e), between a
# set-up fixture (X server, fresh 32-bit prefix, persistent wineserver) and a
# clean-up fixture. They share one prefix, so they run one at a time.
# Included from tests/CMakeLists.txt in the native build.
if(UPDATER_SANITIZE)
  return()
endif()

set(E2E_DIR ${PROJECT_SOURCE_DIR}/e2e)
set(E2E_ENV "BUILD_DIR=${CMAKE_BINARY_DIR};SOURCE_DIR=${PROJECT_SOURCE_DIR};WINDOWS_BUILD_DIR=${PROJECT_SOURCE_DIR}/build/windows")

add_test(NAME e2e.setup COMMAND bash ${E2E_DIR}/setup.sh)
add_test(NAME e2e.cleanup COMMAND bash ${E2E_DIR}/cleanup.sh)
set_tests_properties(e2e.setup PROPERTIES FIXTURES_SETUP e2e_wine TIMEOUT 900)
set_tests_properties(e2e.cleanup PROPERTIES FIXTURES_CLEANUP e2e_wine TIMEOUT 60)

file(STRINGS ${E2E_DIR}/scenarios.sh E2E_SCENARIO_LINES REGEX "^scenario_[a-z0-9_]+\\(\\)")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${E2E_DIR}/scenarios.sh)
foreach(line ${E2E_SCENARIO_LINES})
  string(REGEX REPLACE "^scenario_([a-z0-9_]+)\\(\\).*" "\\1" scenario "${line}")
  add_test(NAME e2e.${scenario} COMMAND bash ${E2E_DIR}/run_scenario.sh ${scenario})
  set_tests_properties(e2e.${scenario} PROPERTIES FIXTURES_REQUIRED e2e_wine RESOURCE_LOCK e2e_wine_prefix
    TIMEOUT 600)
endforeach()

set_tests_properties(e2e.setup e2e.cleanup PROPERTIES RESOURCE_LOCK e2e_wine_prefix)
get_property(E2E_TESTS DIRECTORY PROPERTY TESTS)
list(FILTER E2E_TESTS INCLUDE REGEX "^e2e\\.")
set_tests_properties(${E2E_TESTS} PROPERTIES LABELS e2e ENVIRONMENT "${E2E_ENV}")
