# kelta_find_package(NAME DEBIAN_PACKAGE [find_package arguments...])
# find_package that stops the configuration with the Debian package to install when NAME (or
# one of its components) is missing.
macro(kelta_find_package name debian)
  find_package(${name} ${ARGN})
  if(NOT ${name}_FOUND)
    message(FATAL_ERROR "${name} ${ARGN} not found: install the Debian package ${debian} "
      "(bash tools/setup-deps.sh installs everything the build needs)")
  endif()
endmacro()

# kelta_add_gtest(NAME SOURCES src... LIBS lib...)
# One GoogleTest program, one CTest entry. Qt runs offscreen; sanitizer options come from
# the suppression files in tools/.
function(kelta_add_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  if(KELTA_WINDOWS)
    # Under Wine, in the run's fresh prefix; judged by the program's own summary as well.
    add_test(NAME ${name} COMMAND bash ${PROJECT_SOURCE_DIR}/tools/wine-gtest.sh
      ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${name}> --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED kelta_wine)
  else()
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT 600
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KELTA_SOURCE_DIR=${PROJECT_SOURCE_DIR};LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tools/lsan.supp:print_suppressions=0;TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tools/tsan.supp:halt_on_error=1:second_deadlock_stack=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1;ASAN_OPTIONS=detect_leaks=1")
endfunction()

# kelta_add_bench(NAME SOURCES src... LIBS lib...): a Google Benchmark program named bench_*.
function(kelta_add_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark Threads::Threads)
endfunction()

# kelta_add_fuzzer(NAME SOURCES src... LIBS lib...): a libFuzzer target named fuzz_*.
function(kelta_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
endfunction()
