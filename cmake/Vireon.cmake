# Project-wide compile settings and helpers shared by every folder.
add_compile_options(-Wall -Wextra -Wpedantic)

if(VIREON_SANITIZE)
  string(REPLACE ";" "," _vireon_san "${VIREON_SANITIZE}")
  add_compile_options(-fsanitize=${_vireon_san} -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=${_vireon_san})
  if(_vireon_san MATCHES "undefined")
    add_compile_options(-fno-sanitize-recover=undefined)
  endif()
endif()

if(VIREON_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VIREON_FUZZ needs clang (CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
endif()

# vireon_add_test(NAME LABEL <unit|ui|e2e> SOURCES ... LIBS ...)
# One GoogleTest executable per area, registered with ctest under its label.
function(vireon_add_test name)
  cmake_parse_arguments(T "" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    VIREON_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
    VIREON_BIN_DIR="${PROJECT_BINARY_DIR}/bin")
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VIREON_BIN_DIR=${PROJECT_BINARY_DIR}/bin")
endfunction()

# vireon_add_fuzzer(NAME SOURCES ... LIBS ...): a libFuzzer target, built only with VIREON_FUZZ.
function(vireon_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY VIREON_FUZZERS ${name})
endfunction()
