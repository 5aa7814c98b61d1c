ravlin_core_library(ravlin_midiport ravlin_sim PkgConfig::RTMIDI Threads::Threads)
# ServiceDriver drives the keyboard's device; detection runs on the system's ports.
target_link_libraries(ravlin_midiport PUBLIC ravlin_midi ravlin_protocol)
target_sources(ravlin_midiport PRIVATE platform/midi/RtMidiService.cpp
                                       platform/midi/ServiceDriver.cpp
                                       platform/midi/BuiltInMidiService.cpp
                                       platform/midi/MidiSystem.cpp
                                       platform/midi/ShortSlice.cpp
                                       platform/midi/SysExRing.cpp
                                       platform/midi/TimedQueue.cpp
                                       platform/midi/KeyboardDetector.cpp
                                       platform/midi/ServiceProbePorts.cpp
                                       platform/midi/WaitClock.cpp)
# Only to ask whether the service runs and to keep the libraries quiet.
pkg_check_modules(RAVLIN_ALSA QUIET IMPORTED_TARGET alsa)
if(RAVLIN_ALSA_FOUND)
  target_link_libraries(ravlin_midiport PRIVATE PkgConfig::RAVLIN_ALSA)
  target_compile_definitions(ravlin_midiport PRIVATE RAVLIN_HAVE_ALSA)
endif()
pkg_check_modules(RAVLIN_JACK QUIET IMPORTED_TARGET jack)
if(RAVLIN_JACK_FOUND)
  target_link_libraries(ravlin_midiport PRIVATE PkgConfig::RAVLIN_JACK)
  target_compile_definitions(ravlin_midiport PRIVATE RAVLIN_HAVE_JACK)
  target_sources(ravlin_midiport PRIVATE platform/midi/JackSysExClient.cpp
                                         platform/midi/JackMidiService.cpp)
endif()
