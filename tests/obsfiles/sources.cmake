# The test sources of the file tests in tests/obsfiles, for the Linux and the
# Windows test builds.
set(STANVEX_OBSFILES_TESTS
    ${CMAKE_CURRENT_LIST_DIR}/obn_file_test.cpp ${CMAKE_CURRENT_LIST_DIR}/obn_file_set_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/nvb_file_test.cpp ${CMAKE_CURRENT_LIST_DIR}/join_splice_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/avg_position_test.cpp)
