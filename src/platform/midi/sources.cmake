ravlin_core_library(ravlin_midiport ravlin_sim PkgConfig::RTMIDI Threads::Threads)
target_sources(ravlin_midiport PRIVATE platform/midi/RtMidiService.cpp
                                       platform/midi/BuiltInMidiService.cpp
                                       platform/midi/MidiSystem.cpp)
