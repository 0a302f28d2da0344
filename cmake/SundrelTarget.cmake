# Common compile settings for every target of the project.
function(sundrel_target_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic
    $<$<CXX_COMPILER_ID:GNU>:-Wshadow=compatible-local>
    -Wnon-virtual-dtor -Woverloaded-virtual)
  if(SUNDREL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(SUNDREL_FUZZ)
  # Coverage for the fuzzers in every library they reach.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(SUNDREL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# sundrel_add_library(name SOURCES ... DEPS ...): one static library per folder.
function(sundrel_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  sundrel_target_options(${name})
endfunction()

# sundrel_add_gtest(name SOURCES ... DEPS ...): a GoogleTest suite registered with CTest.
function(sundrel_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  sundrel_target_options(${name})
  # Where tests find the built programs, the corpus and their data; the
  # environment variables of the same names override these.
  target_compile_definitions(${name} PRIVATE
    SUNDREL_DEFAULT_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
    SUNDREL_DEFAULT_CORPUS_DIR="${SUNDREL_CORPUS_DIR}"
    SUNDREL_DEFAULT_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
  include(GoogleTest)
  if(ARG_LABELS)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}")
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

# sundrel_add_qtest(name SOURCES ... DEPS ...): a Qt Test suite, run offscreen.
function(sundrel_add_qtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} Qt6::Test)
  sundrel_target_options(${name})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;SUNDREL_BIN_DIR=${CMAKE_BINARY_DIR}/bin;SUNDREL_CORPUS_DIR=${SUNDREL_CORPUS_DIR};SUNDREL_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data"
    TIMEOUT 300)
endfunction()
