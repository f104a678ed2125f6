# The test sources of tests/pipeline, for the Linux and the Windows test builds.
set(STANVEX_PIPELINE_TESTS ${CMAKE_CURRENT_LIST_DIR}/delivery_test.cpp)
