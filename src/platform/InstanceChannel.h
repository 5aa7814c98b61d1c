#pragma once

#include <QString>
#include <functional>
#include <memory>

class QLocalServer;

// Lets a second copy of the program hand a file to the copy that runs: a
// local socket named after the program in the user's folder, beside the
// single-instance lock. The copy that holds the lock listens; a second copy
// sends one path and waits until the running copy has taken it.
class InstanceChannel {
 public:
  using FileHandler = std::function<void(const QString& path)>;

  // `folder` empty: the user's runtime folder.
  explicit InstanceChannel(const QString& name, const QString& folder = QString());
  ~InstanceChannel();
  InstanceChannel(const InstanceChannel&) = delete;
  InstanceChannel& operator=(const InstanceChannel&) = delete;

  // For the copy that holds the lock only: a socket left behind by a copy
  // that crashed is replaced. `onFile` runs on the event loop for each path.
  bool Listen(FileHandler onFile);
  // Hands `path` over, waiting up to `timeoutMs` for the running copy to
  // listen (it takes the lock before it listens) and to take the path.
  bool Send(const QString& path, int timeoutMs = 10000) const;
  QString SocketPath() const { return path_; }

 private:
  QString path_;
  std::unique_ptr<QLocalServer> server_;
  FileHandler onFile_;
};
