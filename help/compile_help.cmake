# Compiles help.hhp in a fresh copy of the help sources and puts help.chm into the program
# folder. Run by the build with -DHHC=... -DSOURCE_DIR=... -DWORK_DIR=... -DOUTPUT=...
#
# A warning fails the build as well as an error: for our own help a warning means a page,
# picture or link that went missing, and the shipped help must not have any.
foreach(var HHC SOURCE_DIR WORK_DIR OUTPUT)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "compile_help.cmake: ${var} is not set")
    endif()
endforeach()

# The copy must hold the files themselves: were the source folder reached through a symbolic
# link, file(COPY) would copy the link, and the compiler would write into the sources.
file(REAL_PATH "${SOURCE_DIR}" SOURCE_DIR)
file(REMOVE_RECURSE "${WORK_DIR}")
file(COPY "${SOURCE_DIR}/" DESTINATION "${WORK_DIR}"
     PATTERN "CMakeLists.txt" EXCLUDE
     PATTERN "*.cmake" EXCLUDE
     PATTERN "*.chm" EXCLUDE)

execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env SOURCE_DATE_EPOCH=1700000000 "${HHC}" help.hhp
    WORKING_DIRECTORY "${WORK_DIR}"
    RESULT_VARIABLE result
    OUTPUT_VARIABLE out
    ERROR_VARIABLE err)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "hhc.exe failed on the help project (${result}):\n${out}${err}")
endif()
if(err OR NOT out MATCHES "，0 个警告")
    message(FATAL_ERROR "hhc.exe reported problems in the help project:\n${out}${err}")
endif()
if(NOT EXISTS "${WORK_DIR}/help.chm")
    message(FATAL_ERROR "hhc.exe wrote no help.chm:\n${out}")
endif()
file(COPY_FILE "${WORK_DIR}/help.chm" "${OUTPUT}")
