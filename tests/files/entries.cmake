add_executable(entries_test QnDataTest.cpp LqdFileStreamTest.cpp ZipArchiveTest.cpp)
target_link_libraries(entries_test PRIVATE ravlin_entries GTest::gtest_main)
target_include_directories(entries_test PRIVATE ${PROJECT_SOURCE_DIR}/tests)
# A file-size limit and named pipes are the operating system's.
ravlin_add_tests(entries_test NOT_ON_WEB LqdFileStreamTest.FailedWriteLeavesTheOldFileAsItWas
                                         LqdFileStreamTest.OnlyRegularFilesAreOpened)
