execute_process(COMMAND ${CLI} --help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "tessellink-cli --help failed: ${rc}")
endif()
