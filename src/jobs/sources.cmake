# Keyboard work beyond one item's transfer: batches, their runner, and the
# whole keyboard's backup and restore; the rows every list shows of the
# keyboard's tree, what a front end shows for a failure, and the data file
# read from and written to disk.
ravlin_core_library(ravlin_jobs ravlin_transfer)
target_sources(ravlin_jobs PRIVATE jobs/TransferBatch.cpp jobs/TransferJob.cpp
                                   jobs/KeyboardBackup.cpp jobs/EntryView.cpp jobs/JobFailure.cpp
                                   jobs/DataFile.cpp jobs/JobText.cpp jobs/KeyboardJobs.cpp)
