# mixed_library(NAME DEPS...): one static library per source folder, from every
# .cpp file in it; its headers are included as "folder/file.h" from src/.
function(mixed_library name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# mixed_test(NAME DEPS...): one GoogleTest executable per test folder, from every
# *_test.cpp file in it; tests find the repository through MIXED_SOURCE_DIR and
# the reference cases, their data and the PMML schema through MIXED_SHARED_DIR.
function(mixed_test name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(NOT sources)
    return()
  endif()
  file(GLOB helpers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_util.cpp)
  add_executable(${name}_test ${sources} ${helpers})
  target_link_libraries(${name}_test PRIVATE ${ARGN} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name}_test PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name}_test PRIVATE
    MIXED_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    MIXED_SHARED_DIR="${PROJECT_SOURCE_DIR}/tests/shared"
    MIXED_BINARY="$<TARGET_FILE:mixed>")
  add_dependencies(${name}_test mixed)
  # The test lists the cases of cases/*.test when it starts, and ctest learns
  # the list when the test is linked: relink whenever a case file changes.
  file(GLOB cases CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/cases/*.test)
  if(cases)
    set_property(TARGET ${name}_test APPEND PROPERTY LINK_DEPENDS ${cases})
  endif()
  gtest_discover_tests(${name}_test DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()
