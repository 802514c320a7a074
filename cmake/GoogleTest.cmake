# GoogleTest: the Debian package natively, compiled from Debian's source package for cross builds.
if(CMAKE_CROSSCOMPILING)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # GoogleTest's own build defines the GTest:: aliases.
else()
  find_package(GTest REQUIRED)
endif()

# cubrix_add_test(NAME SOURCES ... [LIBS ...]): one test program, one CTest entry. On the portable
# platform every test links the test hooks.
function(cubrix_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main)
  if(TARGET cubrix_test_hooks)
    target_link_libraries(${name} PRIVATE cubrix_test_hooks)
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  cubrix_set_warnings(${name})
  add_test(NAME ${name} COMMAND ${name})
endfunction()
