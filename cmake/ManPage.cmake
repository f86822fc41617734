# Fills in a man page's version and date (see vl_man_page in VlProgram.cmake):
#   cmake -DIN=<page> -DOUT=<file> -DVERSION=<version> [-DGIT=<git>] -P ManPage.cmake
# The date is that of SOURCE_DATE_EPOCH when it is set (reproducible builds),
# else that of the page's last commit, else today's.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  string(TIMESTAMP date "%Y-%m-%d" UTC)
else()
  set(date "")
  if(GIT)
    get_filename_component(dir ${IN} DIRECTORY)
    execute_process(COMMAND ${GIT} log -1 --format=%cs -- ${IN}
                    WORKING_DIRECTORY ${dir}
                    OUTPUT_VARIABLE date OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE rc ERROR_QUIET)
    if(NOT rc EQUAL 0 OR NOT date MATCHES "^[0-9]+-[0-9]+-[0-9]+$")
      set(date "")
    endif()
  endif()
  if(date STREQUAL "")
    string(TIMESTAMP date "%Y-%m-%d")
  endif()
endif()

file(READ ${IN} text)
foreach(token VL_VERSION VL_DATE)
  if(NOT text MATCHES "@${token}@")
    message(FATAL_ERROR "${IN}: the .TH line lacks @${token}@")
  endif()
endforeach()
string(REPLACE "@VL_VERSION@" "${VERSION}" text "${text}")
string(REPLACE "@VL_DATE@" "${date}" text "${text}")
file(WRITE ${OUT} "${text}")
