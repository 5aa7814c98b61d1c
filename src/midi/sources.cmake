ravlin_core_library(ravlin_midi ravlin_midiport)
target_sources(ravlin_midi PRIVATE midi/MidiClock.cpp midi/MidiDev.cpp)
