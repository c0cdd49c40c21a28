# Writes a section-1 manual page for PROGRAM (named NAME) from what
# `PROGRAM --help` prints. Run with cmake -P; the text is kept as it is.
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc
  ERROR_VARIABLE errors)
if(NOT rc EQUAL 0 OR help STREQUAL "")
  message(FATAL_ERROR "${NAME} --help failed (${rc}): ${errors}")
endif()
# roff: a backslash is written \e; a line starting with . or ' is protected.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(FIND "${help}" "\n" newline)
if(newline EQUAL -1)
  set(first "${help}")
  set(rest "")
else()
  string(SUBSTRING "${help}" 0 ${newline} first)
  math(EXPR after "${newline} + 1")
  string(SUBSTRING "${help}" ${after} -1 rest)
endif()
string(TIMESTAMP today "%Y-%m-%d" UTC)
file(WRITE ${OUTPUT} ".TH ${NAME} 1 \"${today}\" \"Tessel ${VERSION}\" \"Tessel\"\n"
  ".SH NAME\n${NAME}\n"
  ".SH SYNOPSIS\n.nf\n${first}\n.fi\n"
  ".SH DESCRIPTION\n.nf\n${rest}.fi\n")
