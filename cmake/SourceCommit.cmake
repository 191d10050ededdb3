# cmake -DGIT=git -DSOURCE_DIR=dir -DHEADER=SourceCommit.h -P SourceCommit.cmake
# Writes the commit the sources were checked out at (with a mark when tracked files differ from it)
# as OVMESH_SOURCE_COMMIT, or an empty text when they are no git checkout. Run at every build, so
# that a commit made after configuring is the one reported; the header is rewritten only when its
# text changes, so an unchanged checkout recompiles nothing.
set(commit "")
if(GIT)
  execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} rev-parse --short=12 HEAD
                  OUTPUT_VARIABLE head OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE result ERROR_QUIET)
  if(result EQUAL 0 AND head MATCHES "^[0-9a-f]+$")
    set(commit ${head})
    execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} status --porcelain --untracked-files=no
                    OUTPUT_VARIABLE changes RESULT_VARIABLE result ERROR_QUIET)
    if(result EQUAL 0 AND NOT changes STREQUAL "")
      string(APPEND commit " with local changes")
    endif()
  endif()
endif()
set(text "#pragma once\n#define OVMESH_SOURCE_COMMIT \"${commit}\"\n")
if(EXISTS ${HEADER})
  file(READ ${HEADER} previous)
endif()
if(NOT previous STREQUAL text)
  file(WRITE ${HEADER} "${text}")
endif()
