#pragma once

#include <QString>

// Starts the desktop's file manager on a folder: "explorer" on Windows,
// "open" on macOS, the desktop's default opener (xdg-open) elsewhere.
class FileManager {
 public:
  static QString DefaultProgram();

  explicit FileManager(QString program = DefaultProgram());

  // Returns the system's text for what went wrong, or "" when the file
  // manager was started. Waits for the opener's status for up to two
  // seconds.
  QString Open(const QString& folder) const;

 private:
  static constexpr int kWaitMs = 2000;

  QString program_;
};
