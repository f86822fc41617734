# Programs and their man pages: one way for every program of the suite.
#
# vl_program(<target> [MAN <page>...])
#
#   Installs the program into the bin folder (GNUInstallDirs), with a RUNPATH
#   to the library folder computed from the two folders, so that an installed
#   tree can be moved as a whole; in the build the RUNPATH is $ORIGIN/../lib.
#   RUNPATH rather than RPATH, so that LD_LIBRARY_PATH can put another host
#   runtime in place. The program joins the target `programs`, which the
#   examples workflow builds. Each MAN page goes through vl_man_page.
#
# vl_man_page(<page>)
#
#   <page> is a file in man/ named <name>.<section> (inkstrip.1). Its .TH line
#   carries two tokens that the build fills in (cmake/ManPage.cmake):
#       .TH NAME 1 "@VL_DATE@" "vlsuite @VL_VERSION@" "User Commands"
#   @VL_VERSION@ becomes the project's version; @VL_DATE@ the date of the
#   page's last commit (or of SOURCE_DATE_EPOCH, or today outside git). The
#   filled-in page lands in <build>/man/ and is installed into the man folder
#   of its section; with BUILD_TESTING and groff present, the test
#   man.<page> checks that `groff -ww -man -z` has nothing to say about it.
#
# A new program adds, in its own CMakeLists.txt:
#   vl_program(panelxlate MAN panelxlate.1)

add_custom_target(programs)

file(RELATIVE_PATH vl_bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
find_program(VL_GROFF groff)
find_package(Git QUIET)

function(vl_program target)
  cmake_parse_arguments(P "" "" "MAN" ${ARGN})
  set_target_properties(${target} PROPERTIES
    BUILD_RPATH_USE_ORIGIN ON
    INSTALL_RPATH "\$ORIGIN/${vl_bin_to_lib}")
  target_link_options(${target} PRIVATE -Wl,--enable-new-dtags)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  add_dependencies(programs ${target})
  foreach(page IN LISTS P_MAN)
    vl_man_page(${page})
  endforeach()
endfunction()

function(vl_man_page page)
  if(NOT page MATCHES "^([A-Za-z0-9_.-]+)\\.([1-9])$")
    message(FATAL_ERROR "vl_man_page: '${page}' is not <name>.<section>")
  endif()
  set(section ${CMAKE_MATCH_2})
  set(in ${PROJECT_SOURCE_DIR}/man/${page})
  set(out ${PROJECT_BINARY_DIR}/man/${page})
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DIN=${in} -DOUT=${out} -DVERSION=${PROJECT_VERSION}
            -DGIT=${GIT_EXECUTABLE} -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
    DEPENDS ${in} ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
    COMMENT "Man page ${page}"
    VERBATIM)
  add_custom_target(man-${page} ALL DEPENDS ${out})
  add_dependencies(programs man-${page})
  install(FILES ${out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
  if(BUILD_TESTING AND VL_GROFF)
    add_test(NAME man.${page}
             COMMAND bash -c [[out=$("$0" -ww -man -z "$1" 2>&1); [ -z "$out" ] || { printf '%s\n' "$out"; exit 1; }]]
                     ${VL_GROFF} ${out})
    set_tests_properties(man.${page} PROPERTIES LABELS man)
  endif()
endfunction()
