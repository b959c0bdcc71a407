# Makes the build's own key pair in KEYS with SERVER (tervane-server --make-key) unless it is
# there: a key pair is made once per build tree and never replaced.
if(NOT EXISTS "${KEYS}/update.key" OR NOT EXISTS "${KEYS}/update.pub")
  execute_process(COMMAND "${SERVER}" --make-key "${KEYS}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "tervane-server could not make a key pair in ${KEYS}")
  endif()
endif()
