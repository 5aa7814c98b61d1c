#pragma once

#include <QString>
#include <QStringList>

class QDropEvent;
class QMimeData;
class QWidget;

// What a drag between the main window's lists carries: the name of the list
// it comes from, so that a drop knows its source. Files dragged in from
// elsewhere count when they are ".lqd" files.
class ListDrag {
 public:
  static constexpr const char* kSourceMimeType = "application/x-ravlin-source";

  static QMimeData* Data(const QWidget* list);
  // The list a drag of this window comes from. A drag that crossed over from
  // elsewhere names no list of this window.
  static QString Source(const QDropEvent& event);
  // Local ".lqd" files only, all of them or none.
  static QStringList LqdFiles(const QMimeData* data);
};
