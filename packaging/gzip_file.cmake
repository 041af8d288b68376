# cmake -DIN=FILE -DOUT=FILE.gz [-DSCDOC=scdoc] -P gzip_file.cmake
# Writes OUT as IN compressed at the highest level without a time stamp (IN turned into a manual page
# by scdoc first when SCDOC is given), as Debian packages want their manual pages and changelogs.
set(plain ${IN})
if(SCDOC)
  string(REGEX REPLACE "\\.gz$" "" plain ${OUT})
  execute_process(COMMAND ${SCDOC} INPUT_FILE ${IN} OUTPUT_FILE ${plain} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "scdoc could not read ${IN}")
  endif()
endif()
execute_process(COMMAND gzip -9n -c ${plain} OUTPUT_FILE ${OUT} RESULT_VARIABLE failed)
if(failed)
  file(REMOVE ${OUT})
  message(FATAL_ERROR "gzip could not compress ${plain}")
endif()
