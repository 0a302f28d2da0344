# Installs the build into a fresh tree and checks that every expected file is
# there and nothing of the build tree (tests, benchmarks) came along.
#   cmake -DBUILD_DIR=... -DTREE=... -DEXPECTED=usr/bin/sundrel;... -P InstallTree.cmake
file(REMOVE_RECURSE ${TREE})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${TREE}/usr
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed:\n${out}${err}")
endif()
file(GLOB_RECURSE installed RELATIVE ${TREE} LIST_DIRECTORIES false ${TREE}/*)
list(SORT installed)
list(SORT EXPECTED)
if(NOT installed STREQUAL EXPECTED)
  string(REPLACE ";" "\n  " installed "${installed}")
  string(REPLACE ";" "\n  " EXPECTED "${EXPECTED}")
  message(FATAL_ERROR "installed:\n  ${installed}\nexpected:\n  ${EXPECTED}")
endif()
