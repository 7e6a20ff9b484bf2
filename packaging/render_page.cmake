# cmake -DPAGE=veldrix.1 -DTEXT=veldrix.txt -P render_page.cmake: the manual page as plain text.
find_program(MAN_PROGRAM man)
find_program(COL_PROGRAM col)
if(MAN_PROGRAM AND COL_PROGRAM)
  execute_process(COMMAND ${MAN_PROGRAM} -l ${PAGE} COMMAND ${COL_PROGRAM} -b OUTPUT_FILE ${TEXT}
                  RESULT_VARIABLE failed)
endif()
if(NOT MAN_PROGRAM OR NOT COL_PROGRAM OR failed)
  configure_file(${PAGE} ${TEXT} COPYONLY)  # its source is text too
endif()
