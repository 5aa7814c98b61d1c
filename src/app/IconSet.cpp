#include "IconSet.h"

#include <QHash>

namespace {

const char* const kToolFiles[IconSet::kToolCount] = {
    "tool-large-icons", "tool-small-icons", "tool-list",   "tool-details", "tool-retrieve",
    "tool-send",        "tool-get-list",    "tool-import", "tool-delete",
};

const char* const kKbdFiles[IconSet::kKbdCount] = {
    "kbd-drive-offline", "kbd-drive",      "kbd-folder-absent", "kbd-folder",
    "kbd-folder-open",   "kbd-slot-empty", "kbd-tone",          "kbd-dsp",
    "kbd-registration",  "kbd-song",       "kbd-rhythm",        "kbd-keyboard",
};

QString PathOf(const char* name) {
  return QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name));
}

QIcon Load(const char* name) {
  static QHash<QString, QIcon> cache;
  const QString path = PathOf(name);
  auto found = cache.find(path);
  if (found == cache.end()) found = cache.insert(path, QIcon(path));
  return *found;
}

}  // namespace

QIcon IconSet::Tool(int index) {
  return index >= 0 && index < kToolCount ? Load(kToolFiles[index]) : QIcon();
}

QIcon IconSet::Kbd(int index) {
  return index >= 0 && index < kKbdCount ? Load(kKbdFiles[index]) : QIcon();
}

QIcon IconSet::KbdPair(int index, int selectedIndex) {
  if (index < 0 || index >= kKbdCount || selectedIndex < 0 || selectedIndex >= kKbdCount)
    return QIcon();
  QIcon icon;
  icon.addFile(PathOf(kKbdFiles[index]), QSize(), QIcon::Normal);
  icon.addFile(PathOf(kKbdFiles[selectedIndex]), QSize(), QIcon::Selected);
  return icon;
}
