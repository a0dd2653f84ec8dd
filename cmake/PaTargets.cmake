# Helpers that keep each folder's CMakeLists short: a folder's sources are
# picked up by glob, so adding a class is adding its .h/.cpp pair.

# pa_add_library(<name> DIR <folder> [RECURSE] [DEPS <targets...>])
# Builds a static library from every .cpp/.h in <folder>; the folder is on the
# include path of whoever links the library.
function(pa_add_library name)
  cmake_parse_arguments(ARG "RECURSE" "DIR" "DEPS" ${ARGN})
  if(NOT ARG_DIR)
    set(ARG_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  if(ARG_RECURSE)
    file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp ${ARG_DIR}/*.h ${ARG_DIR}/*.qrc)
  else()
    file(GLOB srcs CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp ${ARG_DIR}/*.h ${ARG_DIR}/*.qrc)
  endif()
  set(has_cpp FALSE)
  foreach(s ${srcs})
    if(s MATCHES "\\.cpp$")
      set(has_cpp TRUE)
    endif()
  endforeach()
  if(has_cpp)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${ARG_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${ARG_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# pa_add_test_suite(<name> DIR <folder> DEPS <targets...> [GUI])
# One GoogleTest binary per tests/ folder, with tests listed when ctest runs.
function(pa_add_test_suite name)
  cmake_parse_arguments(ARG "GUI" "DIR;TIMEOUT" "DEPS" ${ARGN})
  if(NOT ARG_DIR)
    set(ARG_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  file(GLOB srcs CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp ${ARG_DIR}/*.h)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock)
  if(ARG_GUI)
    target_link_libraries(${name} PRIVATE pa_testmain_gui Qt5::Widgets)
  else()
    target_link_libraries(${name} PRIVATE pa_testmain)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PA_BIN_DIR}/tests)
  gtest_discover_tests(${name}
      DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT 60
      PROPERTIES TIMEOUT ${ARG_TIMEOUT})
  # The test environment (offscreen screens, discovery on loopback, where the
  # build and the sources are) is set by the test main itself: a list given
  # to the discovered tests' properties would reach them cut at its first ';'.
endfunction()
