# The test sources of the decoder's tests in tests/crinex, for the Linux and
# the Windows test builds.
set(STANVEX_CRINEX_TESTS
    ${CMAKE_CURRENT_LIST_DIR}/crx_file_test.cpp ${CMAKE_CURRENT_LIST_DIR}/crx_epoch_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/crx3_test.cpp ${CMAKE_CURRENT_LIST_DIR}/crx_reference_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/crx_test_files.cpp ${CMAKE_CURRENT_LIST_DIR}/rinex_join_test.cpp)
