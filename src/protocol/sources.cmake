ravlin_core_library(ravlin_protocol ravlin_midi)
# Protocol object and parameter accessor.
target_sources(ravlin_protocol PRIVATE protocol/Subject.cpp protocol/QnSysEx.cpp protocol/QnKbd.cpp
                                       protocol/SysExDecoder.cpp protocol/MessageLogWriter.cpp
                                       protocol/MessageRecorder.cpp
                                       protocol/KeyboardProbe.cpp)
# Message catalog.
target_sources(ravlin_protocol PRIVATE protocol/MsgStr.cpp)
