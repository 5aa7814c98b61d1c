# Keyboard work beyond one item's transfer: batches, their runner, and the
# whole keyboard's backup and restore; the rows every list shows of the
# keyboard's tree, what a front end shows for a failure, and the data file
# read from and written to disk.
ravlin_core_library(ravlin_jobs ravlin_transfer)
target_sources(ravlin_jobs PRIVATE jobs/TransferBatch.cpp jobs/TransferJob.cpp
                                   jobs/KeyboardBackup.cpp jobs/EntryView.cpp jobs/JobFailure.cpp
                                   jobs/DataFile.cpp jobs/JobText.cpp jobs/KeyboardJobs.cpp)
# The jobs reach the history only through the store's virtual calls, so that
# the page links them without SQLite; a sanitized build still wants the
# store's type information, so wherever the history is built it comes along.
if(NOT RAVLIN_CORE_ONLY)
  target_link_libraries(ravlin_jobs PUBLIC ravlin_history)
endif()
