// Any line a program sends to the running copy's socket: it names a path
// only when it is one whole line, no longer than the channel reads, of an
// absolute path; and every path a second copy sends comes out as it went in.
//
// Input: the line.

#include <QByteArray>
#include <QDir>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/InstanceChannel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray line(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const QString path = InstanceChannel::PathOf(line);
  if (!path.isEmpty() && (!line.endsWith('\n') || line.size() > InstanceChannel::kMaxLine ||
                          !QDir::isAbsolutePath(path))) {
    std::fprintf(stderr, "took a line that names no absolute path\n");
    std::abort();
  }
  // The same bytes as a file name a second copy hands over.
  const QString sent = QString::fromUtf8(line);
  const QByteArray encoded = sent.toUtf8().toPercentEncoding() + '\n';
  if (QDir::isAbsolutePath(sent) && encoded.size() <= InstanceChannel::kMaxLine &&
      InstanceChannel::PathOf(encoded) != sent) {
    std::fprintf(stderr, "a path sent by a second copy came out changed\n");
    std::abort();
  }
  return 0;
}
