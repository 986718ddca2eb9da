# GoogleTest: the distribution's package natively, its sources when cross-building.
if(CMAKE_CROSSCOMPILING)
  if(NOT TARGET gtest)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  endif()
  set(WEBSETUP_GTEST_MAIN gtest_main)
  set(WEBSETUP_GTEST gtest)
else()
  find_package(GTest REQUIRED)
  set(WEBSETUP_GTEST_MAIN GTest::gtest_main)
  set(WEBSETUP_GTEST GTest::gtest)
endif()
include(GoogleTest)

# websetup_test(name SOURCES ... LIBS ...): one test executable, its cases registered with ctest.
#
# Cross-built, the Linux-only pieces drop out by name (posix_*_test.cpp and
# the *_posix libraries), and each executable is one ctest entry run through
# the emulator (Wine): one Wine process per executable, not one per case.
function(websetup_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(CMAKE_CROSSCOMPILING)
    list(FILTER T_SOURCES EXCLUDE REGEX "(^|/)posix_[^/]*$")
    list(FILTER T_LIBS EXCLUDE REGEX "_posix$")
    if(NOT T_SOURCES)
      return()
    endif()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} ${WEBSETUP_GTEST_MAIN} ${WEBSETUP_GTEST} websetup_warnings)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS "windows;${T_LABELS}")
    return()
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES PROPERTIES LABELS "${T_LABELS}")
endfunction()
