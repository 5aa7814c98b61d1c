// The engine as the page's script sees it.
#include <emscripten/bind.h>

#include "WebEngine.h"
#include "WebFileProperties.h"

EMSCRIPTEN_BINDINGS(ravlin) {
  emscripten::class_<WebEngine>("Engine")
      .constructor<std::string, emscripten::val>()
      .function("texts", &WebEngine::Texts)
      .function("tree", &WebEngine::Tree)
      .function("busy", &WebEngine::Busy)
      .function("arrived", &WebEngine::Arrived)
      .function("probeArrived", &WebEngine::ProbeArrived)
      .function("tick", &WebEngine::Tick)
      .function("detect", &WebEngine::Detect)
      .function("getList", &WebEngine::GetList)
      .function("importItems", &WebEngine::Import)
      .function("send", &WebEngine::Send)
      .function("deleteItem", &WebEngine::Delete)
      .function("cancel", &WebEngine::Cancel)
      .function("backUp", &WebEngine::BackUp)
      .function("restore", &WebEngine::Restore)
      .function("restoreQuestion", &WebEngine::RestoreQuestion)
      .function("watch", &WebEngine::Watch)
      .function("monitorTake", &WebEngine::MonitorTake)
      .function("monitorClear", &WebEngine::MonitorClear)
      .function("monitorLog", &WebEngine::MonitorLog);
  emscripten::class_<WebFileProperties>("FileProperties")
      .constructor<std::string>()
      .function("texts", &WebFileProperties::Texts)
      .function("read", &WebFileProperties::Read)
      .function("filterName", &WebFileProperties::FilterName)
      .function("rename", &WebFileProperties::Rename);
}
