# Every text of the windows has a translation in each .ts file: lupdate brings
# a copy of the file up to date with the sources as they are now, and lrelease
# must find nothing unfinished or untranslated in it. lupdate must not warn
# (a tr() it cannot read is a text that would never be translated).
#   cmake -DLUPDATE=... -DLRELEASE=... -DSOURCE_DIRS=a;b -DINCLUDE_DIR=...
#         -DTS_FILES=x.ts;y.ts -DWORK_DIR=... -P CheckTranslations.cmake
file(MAKE_DIRECTORY ${WORK_DIR})
foreach(ts ${TS_FILES})
  get_filename_component(name ${ts} NAME)
  set(copy ${WORK_DIR}/${name})
  file(COPY_FILE ${ts} ${copy})
  execute_process(COMMAND ${LUPDATE} ${SOURCE_DIRS} -I ${INCLUDE_DIR} -ts ${copy}
    -no-obsolete -locations none
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0 OR err MATCHES "[Ww]arning")
    message(FATAL_ERROR "lupdate failed or warned for ${name}:\n${out}${err}")
  endif()
  execute_process(COMMAND ${LRELEASE} ${copy} -qm ${WORK_DIR}/${name}.qm
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0 OR NOT out MATCHES "and 0 unfinished" OR out MATCHES "untranslated")
    message(FATAL_ERROR "${name} is not complete; run the update_translations target "
      "and translate what it adds:\n${out}${err}")
  endif()
  message(STATUS "${name}: ${out}")
endforeach()
