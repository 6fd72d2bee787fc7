# cmake -DDECODER=<vireon-decode> -DSIM=<vireon-sim> -DDATA=<tests/data> -P RegenExpected.cmake
# Rewrites <capture>.jsonl beside every <capture>.bin and <log>.KLF with the decoder's --summary
# output, and logged-live.jsonl with what the live decoder makes of logged.KLF played by the
# simulator.
file(GLOB captures ${DATA}/*.bin ${DATA}/*.KLF)
foreach(capture ${captures})
  string(REGEX REPLACE "\\.(bin|KLF)$" ".jsonl" expected ${capture})
  execute_process(COMMAND ${DECODER} --summary ${capture}
    OUTPUT_FILE ${expected} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "vireon-decode failed on ${capture}")
  endif()
endforeach()
execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/live_replay.sh ${SIM} ${DECODER} ${DATA}/logged.KLF
  OUTPUT_FILE ${DATA}/logged-live.jsonl RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the live replay of logged.KLF failed")
endif()
