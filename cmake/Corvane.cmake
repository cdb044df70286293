# The standard headers that most sources of every target include. Parsing them (with GoogleTest's, Boost's
# and Qt's) again for each source was a fifth of a test source's compile time; a target precompiles them once.
# No precompiled header holds <GL/glew.h> or a Qt OpenGL header: the two must never meet in one source, and
# a target's precompiled header goes into every source of it.
set(CORVANE_PRECOMPILED_STD
  <algorithm> <array> <cmath> <cstddef> <cstdint> <cstdio> <cstdlib> <cstring> <exception> <filesystem>
  <fstream> <functional> <map> <memory> <mutex> <sstream> <stdexcept> <string> <utility> <vector>)

function(corvane_precompile target)
  if(CORVANE_PRECOMPILED_HEADERS)
    target_precompile_headers(${target} PRIVATE ${CORVANE_PRECOMPILED_STD} ${ARGN})
  endif()
endfunction()

# The tests' own code is compiled for debugging rather than speed: the compiler's optimisation took four
# fifths of a test source's compile time, and the sanitized test build is built on two cores in CI. The
# libraries under test keep the build type's optimisation.
set(CORVANE_TEST_CODE_OPTIONS -Og)

# One static library per subsystem folder: every .cpp in the folder belongs to it. PRECOMPILE names headers
# that the folder's sources include besides the standard ones.
function(corvane_library name)
  cmake_parse_arguments(ARG "" "" "PRECOMPILE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(NOT sources)
    # A subsystem whose folder has no code yet still links as an empty library.
    set(sources ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
    file(WRITE ${sources} "")
  endif()
  add_library(${name} STATIC ${sources} ${headers})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  corvane_precompile(${name} ${ARG_PRECOMPILE})
endfunction()

# The sanitizer settings of test processes that are not GoogleTest binaries (those carry them built in, from
# tests/SanitizerOptions.cpp): leaks are reported (the project's own must be none) except those of the
# system libraries listed, with their owners, in tests/lsan.supp.
set(CORVANE_SANITIZER_ENV
  "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:intercept_tls_get_addr=0"
  "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0"
  "UBSAN_OPTIONS=print_stacktrace=1")

# One GoogleTest binary per tests/<folder>, registered with CTest. OWN_DISPLAY runs each of the suite's tests
# on an X server of its own (tests/own-display.sh), for suites that show windows or draw with GL: no test's
# window then takes the pointer, the focus or the place on the screen of another's. The launcher is the
# target's CROSSCOMPILING_EMULATOR, which CTest puts before the binary in every test of it (the discovered
# ones and those added with the target as their command). PRECOMPILE names headers that most of the suite's
# sources include besides the standard ones and GoogleTest's.
function(corvane_test_suite name)
  cmake_parse_arguments(ARG "OWN_DISPLAY" "" "LIBS;PRECOMPILE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources} ${PROJECT_SOURCE_DIR}/tests/SanitizerOptions.cpp)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    CORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    CORVANE_BINARY_DIR="${PROJECT_BINARY_DIR}")
  target_compile_options(${name} PRIVATE ${CORVANE_TEST_CODE_OPTIONS})
  corvane_precompile(${name} <gtest/gtest.h> <boost/filesystem/path.hpp> ${ARG_PRECOMPILE})
  if(ARG_OWN_DISPLAY)
    # CMake 3.28 and later put the emulator before the tests of a native build only under the OLD behaviour of
    # CMP0158, which CMakeLists.txt sets; under NEW (the default once cmake_minimum_required reaches 3.28) every
    # test of the suite would run without a display and fail, so the configuration stops here instead.
    if(POLICY CMP0158)
      cmake_policy(GET CMP0158 emulator_for_native_tests)
      if(emulator_for_native_tests STREQUAL "NEW")
        message(FATAL_ERROR "${name} runs its tests through tests/own-display.sh, its CROSSCOMPILING_EMULATOR, "
          "which CMake ignores for a native build under CMP0158 NEW: set the policy to OLD.")
      endif()
    endif()
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/tests/own-display.sh)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()
