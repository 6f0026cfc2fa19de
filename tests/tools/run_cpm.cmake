# Runs cpm_run once and checks its exit status, its exact standard output and,
# optionally, a pattern in its standard error.
#   RUNNER          path of cpm_run
#   ARGS            its arguments, separated by '|'
#   EXPECT_STATUS   the exit status it must end with
#   EXPECT_STDOUT   file holding the exact expected standard output (optional)
#   EXPECT_STDERR   regular expression that standard error must match (optional)

string(REPLACE "|" ";" args "${ARGS}")
execute_process(COMMAND ${RUNNER} ${args}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)

set(failures "")
if(NOT "${status}" STREQUAL "${EXPECT_STATUS}")
  string(APPEND failures "exit status: expected ${EXPECT_STATUS}, got ${status}\n")
endif()
if(DEFINED EXPECT_STDOUT)
  file(READ ${EXPECT_STDOUT} expected)
  if(NOT out STREQUAL expected)
    string(REPLACE "\r" "\\r" shown_out "${out}")
    string(REPLACE "\r" "\\r" shown_expected "${expected}")
    string(APPEND failures "standard output:\n--- expected\n${shown_expected}\n--- got\n${shown_out}\n")
  endif()
endif()
if(DEFINED EXPECT_STDERR AND NOT err MATCHES "${EXPECT_STDERR}")
  string(APPEND failures "standard error does not match '${EXPECT_STDERR}':\n${err}\n")
endif()
if(failures)
  message(FATAL_ERROR "cpm_run ${args}\n${failures}")
endif()
