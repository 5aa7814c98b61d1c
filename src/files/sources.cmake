# Data entries and data files.
ravlin_core_library(ravlin_entries)
target_sources(ravlin_entries PRIVATE files/QnData.cpp files/QnDataDrive.cpp
                                      files/QnDataDirectory.cpp files/QnDataFile.cpp
                                      files/LqdFileStream.cpp files/KeyboardText.cpp
                                      files/SlotAddress.cpp files/ZipArchive.cpp)
# Transfer jobs and progress.
ravlin_core_library(ravlin_transfer ravlin_keyboard)
target_sources(ravlin_transfer PRIVATE files/LqdMidiStream.cpp files/PBarObserver.cpp
                                       files/TransferBatch.cpp files/KeyboardBackup.cpp
                                       files/TransferJob.cpp)
