include(GoogleTest)

if(WIN32)
  # GoogleTest for the Windows tests comes from Debian's source package, built with the
  # cross toolchain.
  set(KST_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${KST_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
endif()

# kst_add_gtest(name SOURCES... LIBS...): one GoogleTest executable whose cases ctest lists
# one by one. Windows cases are listed when ctest runs, inside the sandbox, through Wine.
function(kst_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  kst_warnings(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  if(WIN32)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
      PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 120)
  else()
    gtest_discover_tests(${name} PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 60)
  endif()
endfunction()
