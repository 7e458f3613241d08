# Shared build helpers: warning flags, test registration with labels, fuzz targets.

function(quillon_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
    -Wold-style-cast -Wcast-align -Woverloaded-virtual -Wconversion -Wno-sign-conversion)
endfunction()

# quillon_add_test(NAME SOURCES ... LIBS ... [LABELS ...])
# Labels pick the sanitizer runs: "sanitize" tests run under ASan+UBSan, "tsan" tests under TSan,
# "x11" tests need an X server (run under xvfb-run by scripts/test).
function(quillon_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  quillon_warnings(${name})
  target_compile_options(${name} PRIVATE -Wno-old-style-cast -Wno-conversion)
  target_compile_definitions(${name} PRIVATE
    QUILLON_SOURCE_DIR="${PROJECT_SOURCE_DIR}" QUILLON_BINARY_DIR="${PROJECT_BINARY_DIR}")
  # The labels travel as one comma-joined label: gtest_discover_tests flattens a list value into
  # its property list, and `ctest -L` matches a regular expression, so "-L tsan" still finds
  # "sanitize,tsan".
  set(properties ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  if(T_LABELS)
    string(JOIN "," joined_labels ${T_LABELS})
    list(APPEND properties LABELS "${joined_labels}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ${properties})
  foreach(label ${T_LABELS})
    set_property(GLOBAL APPEND PROPERTY QUILLON_TESTS_${label} ${name})
  endforeach()
  set_property(GLOBAL APPEND PROPERTY QUILLON_TESTS_all ${name})
endfunction()

# quillon_add_fuzzer(NAME SOURCES ... LIBS ...)
function(quillon_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  set_property(GLOBAL APPEND PROPERTY QUILLON_FUZZERS ${name})
endfunction()
