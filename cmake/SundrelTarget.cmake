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

# sundrel_add_gtest(name SOURCES ... DEPS ... [LABELS ...] [LIST_EACH_RUN]): a GoogleTest
# suite registered with CTest. LIST_EACH_RUN: the suite's tests depend on what is on disk
# when CTest runs (the corpus), so they are listed anew by every CTest run.
function(sundrel_add_gtest name)
  cmake_parse_arguments(ARG "LIST_EACH_RUN" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  sundrel_target_options(${name})
  # Where tests find the built programs and the corpus; the environment
  # variables of the same names override these.
  target_compile_definitions(${name} PRIVATE
    SUNDREL_DEFAULT_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
    SUNDREL_DEFAULT_CORPUS_DIR="${SUNDREL_CORPUS_DIR}")
  include(GoogleTest)
  set(discovery DISCOVERY_TIMEOUT 60)
  if(ARG_LIST_EACH_RUN)
    list(APPEND discovery DISCOVERY_MODE PRE_TEST)
  endif()
  if(ARG_LABELS)
    list(APPEND discovery PROPERTIES LABELS "${ARG_LABELS}")
  endif()
  gtest_discover_tests(${name} ${discovery})
  if(ARG_LIST_EACH_RUN)
    # PRE_TEST keeps its listing until the executable changes; drop it before
    # the listing is read, so that a corpus that appeared or moved is seen.
    get_property(counter TARGET ${name} PROPERTY CTEST_DISCOVERED_TEST_COUNTER)
    set(forget "${CMAKE_CURRENT_BINARY_DIR}/${name}_forget_listing.cmake")
    file(WRITE "${forget}"
      "file(REMOVE [==[${CMAKE_CURRENT_BINARY_DIR}/${name}[${counter}]_tests.cmake]==])\n")
    get_property(includes DIRECTORY PROPERTY TEST_INCLUDE_FILES)
    set_property(DIRECTORY PROPERTY TEST_INCLUDE_FILES "${forget}" ${includes})
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
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;SUNDREL_BIN_DIR=${CMAKE_BINARY_DIR}/bin"
    TIMEOUT 300)
endfunction()
