# Installs the built library into a fresh prefix, then configures, builds and runs a
# consumer project against it with find_package(KvsDataBlocks CONFIG), and imports the
# installed Python module when one was built.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed: ${rc}")
endif()
# Internal headers stay out of the installed tree.
file(GLOB_RECURSE internal RELATIVE ${prefix}/include ${prefix}/include/*.h)
list(FILTER internal INCLUDE REGEX "/detail/|/Runtime\\.h$|/CalendarText\\.h$|/ByteLayout\\.h$")
if(internal)
  message(FATAL_ERROR "internal headers installed: ${internal}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
  -DCMAKE_PREFIX_PATH=${prefix} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "consumer configure failed: ${rc}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/build RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "consumer build failed: ${rc}")
endif()
# The installed Python module must import from the prefix alone (its run path finds the
# library), before the library folder is put on the loader's path below.
if(PYTHON)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env PYTHONPATH=${prefix}/${PYTHON_DIR} --unset=LD_LIBRARY_PATH
    ${PYTHON} -c "import kvsdatablocks as k; assert k.__file__.startswith('${prefix}'); k.Block.from_definition(1011)"
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "installed Python module does not import: ${rc}")
  endif()
endif()
file(GLOB libdirs ${prefix}/lib*)
set(ENV{LD_LIBRARY_PATH} "${prefix}/lib:${prefix}/lib64:$ENV{LD_LIBRARY_PATH}")
execute_process(COMMAND ${WORK_DIR}/build/consumer RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "consumer run failed: ${rc}")
endif()
if(NOT EXISTS ${prefix}/lib/pkgconfig/KvsDataBlocks.pc)
  message(FATAL_ERROR "pkg-config file not installed")
endif()
