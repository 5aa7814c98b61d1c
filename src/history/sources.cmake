# The keyboard's history: items, keyboards and snapshots in one SQLite file.
ravlin_core_library(ravlin_history SQLite::SQLite3)
target_sources(ravlin_history PRIVATE history/HistoryStore.cpp history/HistorySchema.cpp
                                      history/SqliteDatabase.cpp history/SqlStatement.cpp
                                      history/Sha256.cpp)
