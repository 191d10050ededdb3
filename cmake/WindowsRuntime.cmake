# The MinGW-w64 C++ runtime DLLs the library and the tool load, copied beside them in the build
# tree and installed with them: a host built by the same tool chain uses the same ones.
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE ov_runtime_dll OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT EXISTS "${ov_runtime_dll}")
    message(FATAL_ERROR "the tool chain's ${dll} was not found")
  endif()
  file(COPY ${ov_runtime_dll} DESTINATION ${OV_STAGE_DIR}/${CMAKE_INSTALL_BINDIR})
  install(FILES ${ov_runtime_dll} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT libraries)
endforeach()
