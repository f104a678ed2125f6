# The test sources of tests/rin2obn, for the Linux and the Windows test builds.
set(STANVEX_RIN2OBN_TESTS
    ${CMAKE_CURRENT_LIST_DIR}/rinex_obs_test.cpp ${CMAKE_CURRENT_LIST_DIR}/rinex_nav_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/signal_choice_test.cpp ${CMAKE_CURRENT_LIST_DIR}/solution_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/conversion_test.cpp)
