#pragma once

#include <QString>
#include <memory>

class QLockFile;

// Makes sure that one user runs one copy of the program: a lock file named
// after the program in the user's runtime folder, held for the whole run.
// A lock left behind by a copy that crashed is taken over (the process it
// names is gone), so a crash never blocks the next start.
class SingleInstance {
 public:
  enum class State { First, Running, Failed };

  // `folder` empty: the user's runtime folder.
  explicit SingleInstance(const QString& name, const QString& folder = QString());
  ~SingleInstance();  // releases the lock
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // First: this copy holds the lock now. Running: another copy holds it.
  // Failed: the lock file cannot be made (see ErrorText).
  State Acquire();
  QString LockPath() const;
  QString ErrorText() const;

  // The user's runtime folder, or the temporary folder where there is none.
  static QString UserFolder();

 private:
  std::unique_ptr<QLockFile> lock_;
};
