# Checks of the checkout rather than of a program, run by CTest in the debug build:
#   format    every C/C++ source as .clang-format lays it out, every shell script shellcheck-clean;
#   consumer  the class library installed on its own into a prefix, and the out-of-tree example
#             program (examples/classlib-consumer) configured, built and run against it.
add_test(NAME format COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/check-format.sh)
set_tests_properties(format PROPERTIES LABELS format)

set(_consumer ${CMAKE_BINARY_DIR}/consumer)
add_test(NAME consumer_install
         COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${_consumer}/usr
                 --component classlib)
add_test(NAME consumer_remove COMMAND ${CMAKE_COMMAND} -E rm -rf ${_consumer})
add_test(NAME consumer_build
         COMMAND ${CMAKE_CTEST_COMMAND} --build-and-test ${CMAKE_SOURCE_DIR}/examples/classlib-consumer
                 ${_consumer}/build --build-generator ${CMAKE_GENERATOR}
                 --build-options -DCMAKE_PREFIX_PATH=${_consumer}/usr
                 --test-command ${_consumer}/build/classlib_consumer)
# The prefix holds this run's install alone: it goes when the run ends.
set_tests_properties(consumer_install PROPERTIES FIXTURES_SETUP consumer_prefix)
set_tests_properties(consumer_remove PROPERTIES FIXTURES_CLEANUP consumer_prefix)
set_tests_properties(consumer_build PROPERTIES FIXTURES_REQUIRED consumer_prefix)
set_tests_properties(consumer_remove consumer_install consumer_build PROPERTIES LABELS consumer
                                                                                RESOURCE_LOCK consumer)
