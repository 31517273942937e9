# Read by cpack: without dpkg-shlibdeps the package would list no Qt libraries and fail to start.
if(CPACK_GENERATOR STREQUAL "DEB")
  find_program(TAVREL_SHLIBDEPS dpkg-shlibdeps)
  if(NOT TAVREL_SHLIBDEPS)
    message(FATAL_ERROR "dpkg-shlibdeps not found; install it with: sudo apt-get install dpkg-dev")
  endif()
endif()
