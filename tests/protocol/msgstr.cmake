# The catalog needs nothing else of the protocol library.
add_executable(msgstr_test MsgStrTest.cpp ${PROJECT_SOURCE_DIR}/src/protocol/MsgStr.cpp)
target_include_directories(msgstr_test PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(msgstr_test PRIVATE GTest::gtest_main)
ravlin_add_tests(msgstr_test)
