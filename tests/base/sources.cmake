# The test sources of tests/base, for the Linux and the Windows test builds.
set(STANVEX_BASE_TESTS
    ${CMAKE_CURRENT_LIST_DIR}/library_state_test.cpp ${CMAKE_CURRENT_LIST_DIR}/paths_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/gps_time_test.cpp ${CMAKE_CURRENT_LIST_DIR}/block_reader_test.cpp)
