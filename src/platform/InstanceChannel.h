#pragma once

#include <QString>
#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>

class QLocalSocket;
class QObject;

// Lets a second copy of the program hand a file to the copy that runs: a
// local socket named after the program in the user's folder, beside the
// single-instance lock. The copy that holds the lock listens; a second copy
// sends one path and waits until the running copy has taken it.
//
// Whatever else connects is cut off: a line longer than kMaxLine bytes, a
// path that is not absolute, a connection whose line has not come whole
// within kLineLimit, and every connection beyond kMaxConnections open at
// once. A connection that finds no file left in the program is cut off as
// well, and the channel goes on listening.
class InstanceChannel {
 public:
  using FileHandler = std::function<void(const QString& path)>;
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  static constexpr qint64 kMaxLine = 16 * 1024;  // with its newline
  static constexpr std::chrono::seconds kLineLimit{5};
  static constexpr size_t kMaxConnections = 32;

  // `folder` empty: the user's runtime folder.
  explicit InstanceChannel(const QString& name, const QString& folder = QString());
  ~InstanceChannel();
  InstanceChannel(const InstanceChannel&) = delete;
  InstanceChannel& operator=(const InstanceChannel&) = delete;

  // The monotonic time by which kLineLimit is measured; tests set their own.
  void SetClock(Clock clock) { clock_ = std::move(clock); }

  // For the copy that holds the lock only: a socket left behind by a copy
  // that crashed is replaced. `onFile` runs on the event loop for each path.
  bool Listen(FileHandler onFile);
  // Hands `path` over, waiting up to `timeoutMs` for the running copy to
  // listen (it takes the lock before it listens) and to take the path; a
  // connection cut off while the running copy is full is made again.
  bool Send(const QString& path, int timeoutMs = 10000) const;
  QString SocketPath() const { return path_; }
  // Cuts off every connection open for kLineLimit. The listening channel's
  // timer calls it every second.
  void CloseLate();

  // The path a whole line from a second copy names, without its newline;
  // empty for anything else.
  static QString PathOf(const QByteArray& line);

 private:
  void AcceptAll();
  void Accept(int fd);
  void Read(QLocalSocket* socket);
  void Drop(QLocalSocket* socket);

  QString path_;
  Clock clock_ = [] { return std::chrono::steady_clock::now(); };
  int listener_ = -1;
  // Held open to be given up for a connection that finds no other file.
  int spare_ = -1;
  // Owns the connections, the listener's notifier and the timer.
  std::unique_ptr<QObject> owner_;
  // Each open connection and when it was made.
  std::map<QLocalSocket*, std::chrono::steady_clock::time_point> opened_;
  FileHandler onFile_;
};
