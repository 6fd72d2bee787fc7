# cmake -DDECODER=<vireon-decode> -DDATA=<tests/data> -P RegenExpected.cmake
# Rewrites <capture>.jsonl beside every <capture>.bin with the decoder's --summary output.
file(GLOB captures ${DATA}/*.bin)
foreach(capture ${captures})
  string(REGEX REPLACE "\\.bin$" ".jsonl" expected ${capture})
  execute_process(COMMAND ${DECODER} --summary ${capture}
    OUTPUT_FILE ${expected} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "vireon-decode failed on ${capture}")
  endif()
endforeach()
