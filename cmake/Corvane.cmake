# One static library per subsystem folder: every .cpp in the folder belongs to it.
function(corvane_library name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(NOT sources)
    # A subsystem whose folder has no code yet still links as an empty library.
    set(sources ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
    file(WRITE ${sources} "")
  endif()
  add_library(${name} STATIC ${sources} ${headers})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# One GoogleTest binary per tests/<folder>, registered with CTest. RESOURCE_LOCK names a resource that
# the suite's tests hold alone while they run (for instance the X pointer, which xdotool moves).
function(corvane_test_suite name)
  cmake_parse_arguments(ARG "" "RESOURCE_LOCK" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    CORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    CORVANE_BINARY_DIR="${PROJECT_BINARY_DIR}")
  set(lock)
  if(ARG_RESOURCE_LOCK)
    set(lock RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
  endif()
  # The lock goes first: discovery splits the ENVIRONMENT value at its ';', and whatever follows it is
  # read as further property names.
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ${lock} ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0:abort_on_error=0;UBSAN_OPTIONS=print_stacktrace=1")
endfunction()
