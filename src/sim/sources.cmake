ravlin_core_library(ravlin_sim)
target_sources(ravlin_sim PRIVATE sim/Fault.cpp sim/Memory.cpp sim/SimLink.cpp sim/SysExCodec.cpp
                                  sim/Trv408.cpp)
