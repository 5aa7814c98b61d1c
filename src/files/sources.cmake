# Data entries and data files.
ravlin_core_library(ravlin_entries)
target_sources(ravlin_entries PRIVATE files/QnData.cpp files/QnDataDrive.cpp
                                      files/QnDataDirectory.cpp files/QnDataFile.cpp
                                      files/LqdFileStream.cpp files/KeyboardText.cpp
                                      files/SlotAddress.cpp files/ZipArchive.cpp)
# One item's transfer and its progress.
ravlin_core_library(ravlin_transfer ravlin_keyboard)
target_sources(ravlin_transfer PRIVATE files/LqdMidiStream.cpp files/PBarObserver.cpp)
