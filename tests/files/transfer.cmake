add_executable(transfer_test LqdMidiStreamTest.cpp TransferBatchTest.cpp)
target_include_directories(transfer_test PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(transfer_test PRIVATE ravlin_core GTest::gtest_main)
gtest_discover_tests(transfer_test)
