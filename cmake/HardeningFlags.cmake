# The distribution's hardening flags, as dpkg-buildflags gives them, on
# every compile and link of this build: the Debian package carries this
# build, so the programs the tests run are the ones the package installs.
#
# Only the hardening part is taken (what hardening=+all adds to
# hardening=-all): the optimisation and debug flags stay the preset's, and
# the reproducibility warnings stay out because the programs stamp their own
# build time on purpose. PIE is the compiler's default and so needs no flag.
find_program(ZIRON7_DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)

# The words of dpkg-buildflags' `variable` under DEB_BUILD_MAINT_OPTIONS=`options`.
function(ziron7_dpkg_buildflags variable options out)
  set(saved "$ENV{DEB_BUILD_MAINT_OPTIONS}")
  set(ENV{DEB_BUILD_MAINT_OPTIONS} "${options}")
  execute_process(COMMAND dpkg-buildflags --get ${variable}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  set(ENV{DEB_BUILD_MAINT_OPTIONS} "${saved}")
  separate_arguments(flags UNIX_COMMAND "${flags}")
  set(${out} "${flags}" PARENT_SCOPE)
endfunction()

# The flags that hardening adds to `variable`.
function(ziron7_hardening_flags variable out)
  ziron7_dpkg_buildflags(${variable} "hardening=+all" hardened)
  ziron7_dpkg_buildflags(${variable} "hardening=-all" plain)
  if(plain)
    list(REMOVE_ITEM hardened ${plain})
  endif()
  set(${out} "${hardened}" PARENT_SCOPE)
endfunction()

ziron7_hardening_flags(CPPFLAGS ZIRON7_HARDENING_CPPFLAGS)
ziron7_hardening_flags(CXXFLAGS ZIRON7_HARDENING_CXXFLAGS)
ziron7_hardening_flags(LDFLAGS ZIRON7_HARDENING_LDFLAGS)
message(STATUS "Hardening: ${ZIRON7_HARDENING_CPPFLAGS} ${ZIRON7_HARDENING_CXXFLAGS} ${ZIRON7_HARDENING_LDFLAGS}")
add_compile_options(${ZIRON7_HARDENING_CPPFLAGS} ${ZIRON7_HARDENING_CXXFLAGS})
add_link_options(${ZIRON7_HARDENING_LDFLAGS})
