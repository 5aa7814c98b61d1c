#pragma once

#include <QString>
#include <chrono>
#include <functional>
#include <map>
#include <memory>

class QLocalServer;
class QLocalSocket;
class QTimer;

// Lets a second copy of the program hand a file to the copy that runs: a
// local socket named after the program in the user's folder, beside the
// single-instance lock. The copy that holds the lock listens; a second copy
// sends one path and waits until the running copy has taken it.
//
// Whatever else connects is cut off: a line longer than kMaxLine bytes, a
// path that is not absolute, and a connection silent for kIdleLimit.
class InstanceChannel {
 public:
  using FileHandler = std::function<void(const QString& path)>;
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  static constexpr qint64 kMaxLine = 16 * 1024;  // with its newline
  static constexpr std::chrono::seconds kIdleLimit{5};

  // `folder` empty: the user's runtime folder.
  explicit InstanceChannel(const QString& name, const QString& folder = QString());
  ~InstanceChannel();
  InstanceChannel(const InstanceChannel&) = delete;
  InstanceChannel& operator=(const InstanceChannel&) = delete;

  // The monotonic time by which silence is measured; tests set their own.
  void SetClock(Clock clock) { clock_ = std::move(clock); }

  // For the copy that holds the lock only: a socket left behind by a copy
  // that crashed is replaced. `onFile` runs on the event loop for each path.
  bool Listen(FileHandler onFile);
  // Hands `path` over, waiting up to `timeoutMs` for the running copy to
  // listen (it takes the lock before it listens) and to take the path.
  bool Send(const QString& path, int timeoutMs = 10000) const;
  QString SocketPath() const { return path_; }
  // Cuts off every connection that has sent nothing for kIdleLimit. The
  // listening channel's timer calls it every second.
  void CloseSilent();

 private:
  void Accept(QLocalSocket* socket);
  void Read(QLocalSocket* socket);
  void Drop(QLocalSocket* socket);

  QString path_;
  Clock clock_ = [] { return std::chrono::steady_clock::now(); };
  std::unique_ptr<QLocalServer> server_;
  std::unique_ptr<QTimer> idleTimer_;
  // Each open connection and when it last sent something.
  std::map<QLocalSocket*, std::chrono::steady_clock::time_point> heard_;
  FileHandler onFile_;
};
