# The three tiers of the build:
#   1. the binary interface and host-string helpers (src/abi: vlabi), with the
#      host runtime library it binds to (src/vlrt64);
#   2. each component's host-free core (vl<name>), shared by util and glosscheck,
#      and its host functions (vl<name>_host), util only;
#   3. the programs: util (src/util), glosscheck, and the programs that link
#      nothing of the others (panelxlate, inkstrip).
# A core never links the binary interface or the host runtime, so that a host
# symbol used by a core breaks glosscheck's link (it takes every core whole).

# vl_component(<name> [CORE <sources...>] [HOST <sources...>]
#              [DEPENDS <libraries...>] [HOST_DEPENDS <libraries...>])
#
# Declares the component in the current folder as up to two static libraries,
# both with the folder's headers:
#   vl<name>       the host-free core: links vlcommon and the cores in DEPENDS;
#   vl<name>_host  the host functions, declared in <name>_host.h: links the core,
#                  vlabi and HOST_DEPENDS.
# util's frame links every host library and glosscheck every core (see
# vl_link_tiers), so a new component needs no line elsewhere in the build.
function(vl_component name)
  cmake_parse_arguments(C "" "" "CORE;HOST;DEPENDS;HOST_DEPENDS" ${ARGN})
  if(C_CORE)
    add_library(vl${name} STATIC ${C_CORE})
    target_include_directories(vl${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(vl${name} PUBLIC vlcommon ${C_DEPENDS})
    set_property(GLOBAL APPEND PROPERTY VL_CORE_LIBRARIES vl${name})
  endif()
  if(C_HOST)
    add_library(vl${name}_host STATIC ${C_HOST})
    target_include_directories(vl${name}_host PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    if(C_CORE)
      target_link_libraries(vl${name}_host PUBLIC vl${name})
    endif()
    target_link_libraries(vl${name}_host PUBLIC vlabi ${C_HOST_DEPENDS})
    set_property(GLOBAL APPEND PROPERTY VL_HOST_LIBRARIES vl${name}_host)
  endif()
endfunction()

# Runs at the end of the top-level CMakeLists (deferred), when every component is
# declared: links util's frame with every host library and glosscheck with every
# core taken whole, and lists both tiers for the symbol check of the tests
# (tiers.txt in the build folder: "core <archive>" and "host <file>" lines).
function(vl_link_tiers)
  get_property(cores GLOBAL PROPERTY VL_CORE_LIBRARIES)
  get_property(hosts GLOBAL PROPERTY VL_HOST_LIBRARIES)
  target_link_libraries(vlframe PUBLIC ${hosts})
  # Every object of every core goes into glosscheck, whether it uses it or not.
  foreach(lib IN LISTS cores)
    target_sources(glosscheck PRIVATE $<TARGET_OBJECTS:${lib}>)
  endforeach()
  target_link_libraries(glosscheck PRIVATE ${cores})

  set(lines "")
  foreach(lib IN LISTS cores)
    string(APPEND lines "core $<TARGET_FILE:${lib}>\n")
  endforeach()
  foreach(lib IN LISTS hosts ITEMS vlabi vlrt64)
    string(APPEND lines "host $<TARGET_FILE:${lib}>\n")
  endforeach()
  string(APPEND lines "host $<JOIN:$<TARGET_OBJECTS:vlframe>,\nhost >\n")
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/tiers.txt CONTENT "${lines}")
endfunction()
