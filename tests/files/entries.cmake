add_executable(entries_test QnDataTest.cpp LqdFileStreamTest.cpp)
target_link_libraries(entries_test PRIVATE ravlin_entries GTest::gtest_main)
gtest_discover_tests(entries_test)
