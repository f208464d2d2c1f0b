# Every Windows program that ctest runs goes through the project's Wine runner.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-run ${QUENDREL_WINE_ARCH})

# GoogleTest, cross-compiled from Debian's source package.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)

# quendrel_test(<name> SOURCES ... LIBS ... [LOCKS ...]): one GoogleTest program, one ctest test.
function(quendrel_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LOCKS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  add_dependencies(${name} corvane_idl)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  # Freed BSTRs go back to the allocator at once, so the allocation spy sees them.
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "OANOCACHE=1")
  if(T_LOCKS)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${T_LOCKS}")
  endif()
endfunction()
