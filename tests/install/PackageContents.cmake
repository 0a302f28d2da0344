# Builds the Debian package as scripts/package does and checks its listing
# (every expected path, nothing else) and that its dependencies were computed
# from the programs' libraries.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DEXPECTED=usr/bin/sundrel;... -P PackageContents.cmake
find_program(DPKG_DEB dpkg-deb)
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(NOT DPKG_DEB OR NOT DPKG_SHLIBDEPS)
  message("SKIPPED: dpkg-deb or dpkg-shlibdeps (package dpkg-dev) is not installed")
  return()
endif()
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND cpack --config ${BUILD_DIR}/CPackConfig.cmake -G DEB -B ${WORK_DIR}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(GLOB packages ${WORK_DIR}/*.deb)
list(LENGTH packages count)
if(NOT status EQUAL 0 OR NOT count EQUAL 1)
  message(FATAL_ERROR "cpack made no package:\n${out}${err}")
endif()

execute_process(COMMAND ${DPKG_DEB} -c ${packages} OUTPUT_VARIABLE listing)
# "-rwxr-xr-x root/root 1234 2026-01-01 00:00 ./usr/bin/sundrel": keep the files.
string(REGEX MATCHALL "\\./usr/[^\n]*[^/\n]\n" lines "${listing}")
set(files "")
foreach(line ${lines})
  string(REGEX REPLACE "^\\./(.*)\n$" "\\1" path "${line}")
  list(APPEND files ${path})
endforeach()
list(SORT files)
list(SORT EXPECTED)
if(NOT files STREQUAL EXPECTED)
  message(FATAL_ERROR "the package holds:\n${listing}\nexpected: ${EXPECTED}")
endif()

execute_process(COMMAND ${DPKG_DEB} -f ${packages} Depends OUTPUT_VARIABLE depends)
foreach(library libqpdf libharfbuzz-subset0 libqt6widgets6 libstdc\\+\\+6)
  if(NOT depends MATCHES "${library}")
    message(FATAL_ERROR "Depends lacks ${library}: ${depends}")
  endif()
endforeach()
message(STATUS "${packages}\nDepends: ${depends}")

# Lintian at its default level, and its hardening tags (informational)
# besides: nothing to say. Skipped where lintian is not installed.
find_program(LINTIAN lintian)
if(NOT LINTIAN)
  message(STATUS "lintian is not installed: the package's lintian check is left out")
  return()
endif()
execute_process(COMMAND timeout 300 ${LINTIAN} --display-info --pedantic ${packages}
  RESULT_VARIABLE status OUTPUT_VARIABLE said ERROR_VARIABLE err)
string(REGEX MATCHALL "(^|\n)(E|W): [^\n]*|(^|\n)[IP]: [^\n]*hardening-[^\n]*" findings "${said}")
if(findings OR status GREATER 1)
  message(FATAL_ERROR "lintian on ${packages}:\n${said}${err}")
endif()
message(STATUS "lintian: nothing at error or warning level, no hardening tag")
