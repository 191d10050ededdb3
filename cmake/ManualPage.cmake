# cmake -DTOOL=ovmesh -DPAGE=ovmesh.1 [-DGZIP=gzip -DCOMPRESSED=ovmesh.1.gz] -P ManualPage.cmake
# Writes the page the tool prints for --manpage to PAGE and, with GZIP, a compressed copy to
# COMPRESSED that holds neither a file name nor a time stamp, so the same page gives the same bytes.
get_filename_component(folder ${PAGE} DIRECTORY)
file(MAKE_DIRECTORY ${folder})
execute_process(COMMAND ${TOOL} --manpage OUTPUT_FILE ${PAGE} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE ${PAGE})
  message(FATAL_ERROR "${TOOL} --manpage failed: ${result}")
endif()
if(GZIP)
  execute_process(COMMAND ${GZIP} -9 --no-name --stdout ${PAGE} OUTPUT_FILE ${COMPRESSED} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${GZIP} ${PAGE} failed: ${result}")
  endif()
endif()
