# The test sources of tests/catalogue, for the Linux and the Windows test
# builds; the bundled catalogue's test also runs the Linux command-line host.
set(STANVEX_CATALOGUE_TESTS
    ${CMAKE_CURRENT_LIST_DIR}/catalogue_load_test.cpp ${CMAKE_CURRENT_LIST_DIR}/sort_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/nearest_test.cpp ${CMAKE_CURRENT_LIST_DIR}/catalogue_extras_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/station_import_test.cpp ${CMAKE_CURRENT_LIST_DIR}/station_lists_test.cpp)
set(STANVEX_CATALOGUE_LINUX_TESTS ${CMAKE_CURRENT_LIST_DIR}/bundled_catalogue_test.cpp)
