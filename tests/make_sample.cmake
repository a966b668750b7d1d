# cmake -DADMIN=nlsxbe-admin -DDIR=folder -P make_sample.cmake: the sample installation in folder, made anew.
file(REMOVE_RECURSE ${DIR})
execute_process(COMMAND ${ADMIN} sample ${DIR} RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "nlsxbe-admin sample ${DIR}: ${result}")
endif()
