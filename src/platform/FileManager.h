#pragma once

#include <QString>
#include <QStringList>

// Starts the desktop's file manager on a folder: "explorer" on Windows,
// "open" on macOS, elsewhere the program the desktop's MIME associations
// register for folders (inode/directory), and no other.
class FileManager {
 public:
  // The command line that opens a folder, its field codes (%f, %U, ...)
  // standing for the folder; empty when no program is registered.
  static QStringList DefaultCommand();

  explicit FileManager(QStringList command = DefaultCommand());

  // Whether there is a program to open folders with.
  bool HasProgram() const { return !command_.isEmpty(); }
  // Returns the system's text for what went wrong, or "" when the file
  // manager was started. Waits for its status for up to two seconds.
  QString Open(const QString& folder) const;

 private:
  static constexpr int kWaitMs = 2000;

  QStringList Arguments(const QString& folder) const;

  QStringList command_;
};
