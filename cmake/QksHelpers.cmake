# Shared build helpers. Every module is one library target; tests and fuzzers
# link modules only through target_link_libraries.

function(qks_add_if_present dir)
  # QKS_EXCLUDE lets a developer leave out folders that are mid-change in a shared tree.
  if("${dir}" IN_LIST QKS_EXCLUDE)
    message(STATUS "Leaving out ${dir} (QKS_EXCLUDE)")
    return()
  endif()
  if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${CMAKE_SOURCE_DIR}/${dir} ${CMAKE_BINARY_DIR}/${dir})
  else()
    message(WARNING "Leaving out ${dir}: it has no CMakeLists.txt")
  endif()
endfunction()

function(qks_apply_sanitizers)
  if(QKS_SANITIZE STREQUAL "")
    return()
  endif()
  set(flags -fsanitize=${QKS_SANITIZE} -fno-omit-frame-pointer -g)
  if(QKS_SANITIZE MATCHES "undefined")
    list(APPEND flags -fno-sanitize-recover=undefined)
  endif()
  add_compile_options(${flags})
  add_link_options(-fsanitize=${QKS_SANITIZE})
endfunction()

# Warnings for our own code only (not for third-party headers).
function(qks_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter)
endfunction()

# qks_add_gtest(NAME SOURCES ... LIBS ... [LABELS ...] [MODULE name])
# Registers each test case with CTest. Suites labelled tsan are listed in
# tsan-targets.txt in the build folder, so the thread-sanitizer run builds just those.
function(qks_add_gtest name)
  cmake_parse_arguments(ARG "" "MODULE;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if("tsan" IN_LIST ARG_LABELS)
    set_property(GLOBAL APPEND PROPERTY QKS_TSAN_TARGETS ${name})
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  qks_warnings(${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set(properties TIMEOUT ${ARG_TIMEOUT})
  if(ARG_LABELS)
    list(APPEND properties LABELS "${ARG_LABELS}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ${properties}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()

find_package(Threads REQUIRED)

# qks_add_fuzzer(NAME SOURCE file LIBS ... [CORPUS dir])
# With QKS_FUZZ (clang) this is a libFuzzer binary. Otherwise the same entry point is
# linked with a replay driver and registered as a test that feeds it every corpus file,
# so the sanitizer builds run the corpus on every CI run.
function(qks_add_fuzzer name)
  cmake_parse_arguments(ARG "" "SOURCE;CORPUS" "LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCE})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  if(QKS_FUZZ)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set_property(GLOBAL APPEND PROPERTY QKS_FUZZERS "${name}|${ARG_CORPUS}")
  else()
    target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/fuzz/replay_main.cpp)
    if(ARG_CORPUS)
      add_test(NAME fuzz_corpus.${name} COMMAND ${name} ${ARG_CORPUS})
      set_tests_properties(fuzz_corpus.${name} PROPERTIES LABELS fuzz TIMEOUT 300)
    endif()
  endif()
  if(ARG_CORPUS)
    set_property(TARGET ${name} PROPERTY QKS_CORPUS ${ARG_CORPUS})
  endif()
endfunction()
