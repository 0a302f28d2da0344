# The hardening that Debian packages are built with: the flags of
# dpkg-buildflags with every hardening feature (stack protector, format
# checks, _FORTIFY_SOURCE, relro and bindnow), without its optimisation and
# debug flags, which the build type gives (nor -Wdate-time, a warning only).
# Without dpkg-buildflags, the same flags as Debian 12 gives them. Off in
# sanitizer and fuzzer builds, and _FORTIFY_SOURCE only where the build type
# optimises (it needs -O1 or more).
option(SUNDREL_HARDENING "Build with Debian's hardening flags" ON)
if(NOT SUNDREL_HARDENING OR SUNDREL_SANITIZE OR SUNDREL_FUZZ)
  return()
endif()
set(compile_flags -fstack-protector-strong -Wformat -Werror=format-security
  -D_FORTIFY_SOURCE=2)
set(link_flags -Wl,-z,relro -Wl,-z,now)
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(DPKG_BUILDFLAGS)
  set(ENV{DEB_BUILD_MAINT_OPTIONS} hardening=+all)
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(COMMAND ${DPKG_BUILDFLAGS} --get ${kind} OUTPUT_VARIABLE value
      OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed")
    endif()
    separate_arguments(value UNIX_COMMAND "${value}")
    set(${kind} ${value})
  endforeach()
  set(compile_flags ${CPPFLAGS} ${CXXFLAGS})
  set(link_flags ${LDFLAGS})
  # The build type decides optimisation and debug information; paths stay as they are.
  list(FILTER compile_flags EXCLUDE REGEX "^(-g.*|-O.*|-ffile-prefix-map=.*|-Wdate-time)$")
endif()
if(NOT CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
  list(FILTER compile_flags EXCLUDE REGEX "^-D_FORTIFY_SOURCE")
endif()
add_compile_options(${compile_flags})
add_link_options(${link_flags})
