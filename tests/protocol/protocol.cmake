add_executable(protocol_tests
  ${CMAKE_CURRENT_SOURCE_DIR}/SubjectTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/SysExMessageTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ParameterTransactionTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/BlockTransferTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/QnKbdTest.cpp)
target_include_directories(protocol_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(protocol_tests PRIVATE ravlin_protocol ravlin_test_main)
gtest_discover_tests(protocol_tests)
