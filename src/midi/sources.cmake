ravlin_core_library(ravlin_midi)
target_sources(ravlin_midi PRIVATE midi/MidiClock.cpp midi/MidiDev.cpp)
