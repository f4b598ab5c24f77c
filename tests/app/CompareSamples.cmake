# Runs the sample generator into WORK and compares every file with the one in SAMPLES.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${GENERATOR} ${WORK} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the sample generator failed (${rc})")
endif()
foreach(name picture.bmp picture.tim font256.fnt font16.fnt)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/${name} ${SAMPLES}/${name}
                  RESULT_VARIABLE diff)
  if(NOT diff EQUAL 0)
    message(FATAL_ERROR "samples/${name} differs from what the generator writes now")
  endif()
endforeach()
