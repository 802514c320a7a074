# GoogleTest: the Debian package natively, compiled from Debian's source package for cross builds.
if(CMAKE_CROSSCOMPILING)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  # Debian's googletest package installs the source there; CUBRIX_GOOGLETEST_SOURCE names another.
  find_path(CUBRIX_GOOGLETEST_SOURCE CMakeLists.txt PATHS /usr/src/googletest NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
            DOC "GoogleTest's source tree, built for cross builds")
  if(NOT CUBRIX_GOOGLETEST_SOURCE)
    message(FATAL_ERROR "Cross builds compile GoogleTest from its source, which was not found: install "
                        "Debian's googletest package (/usr/src/googletest) or set CUBRIX_GOOGLETEST_SOURCE.")
  endif()
  add_subdirectory(${CUBRIX_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # GoogleTest's own build defines the GTest:: aliases.
else()
  find_package(GTest REQUIRED)
endif()

# cubrix_add_test(NAME SOURCES ... [LIBS ...]): one test program, one CTest entry. On the portable
# platform every test links the test hooks and the shared scaffolding (tests/support).
function(cubrix_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main)
  if(TARGET cubrix_test_support)
    target_link_libraries(${name} PRIVATE cubrix_test_support)
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  cubrix_set_warnings(${name})
  add_test(NAME ${name} COMMAND ${name})
endfunction()
