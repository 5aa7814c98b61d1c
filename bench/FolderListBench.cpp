// Figure 5: the main window fills LocalFileView from a folder of 20,000 files
// (selecting the folder in LocalDirView until the list has been painted),
// against `ls -l` of the same folder as a process, in alternating rounds.
#include <QApplication>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchProcess.h"
#include "BenchResults.h"
#include "ItemListView.h"
#include "TPcLinkForm.h"
#include "platform/SettingsStore.h"
#include "platform/midi/MidiSystem.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFiles = 20000;
constexpr int kRounds = 7;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void MakeFolder(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  const std::string header(64, 'V');
  for (int i = 0; i < kFiles; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "SONG_%05d.lqd", i);
    std::ofstream(folder / name, std::ios::binary) << header << std::string(64 + i % 4000, '\0');
  }
}

void Settle() {
  const auto until = Clock::now() + std::chrono::milliseconds(100);
  while (Clock::now() < until) QCoreApplication::processEvents();
}

QTreeWidgetItem* Child(QTreeWidgetItem* node, const char* caption) {
  for (int i = 0; node != nullptr && i < node->childCount(); ++i)
    if (node->child(i)->text(0) == QLatin1String(caption)) return node->child(i);
  return nullptr;
}

int Run(const std::filesystem::path& work) {
  const auto many = work / "data" / "many";
  MakeFolder(many);
  const QString settings = QString::fromStdString((work / "settings/Ravlin.ini").string());
  MidiSystem& midi = MidiSystem::Instance();
  SettingsStore(settings).Save({static_cast<int32_t>(midi.BuiltInInput()),
                                static_cast<int32_t>(midi.BuiltInOutput()),
                                QString::fromStdString((work / "data").string() + "/")});

  TPcLinkForm window(TPcLinkForm::Options{false, settings});
  window.show();
  Settle();
  auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("LocalDirView"));
  auto* list = window.findChild<ItemListView*>(QStringLiteral("LocalFileView"));
  if (tree == nullptr || list == nullptr || Child(tree->currentItem(), "many") == nullptr) {
    std::fprintf(stderr, "folder_list_bench: the window does not show the data folder\n");
    return 1;
  }

  std::vector<double> ours;
  std::vector<double> ls;
  // Round 0 reads the folder into the operating system's caches for both.
  // As a user does it: the data folder selected and open, then a click on
  // its subfolder. Nodes are looked up afresh, since the window re-lists them.
  for (int round = 0; round <= kRounds; ++round) {
    if (tree->currentItem()->text(0) == "many") tree->setCurrentItem(tree->currentItem()->parent());
    Settle();
    tree->expandItem(tree->currentItem());
    Settle();
    QTreeWidgetItem* folder = Child(tree->currentItem(), "many");
    const auto start = Clock::now();
    tree->setCurrentItem(folder);
    QCoreApplication::processEvents();
    list->repaint();
    const double fill = std::chrono::duration<double>(Clock::now() - start).count();
    if (list->Count() != kFiles) {
      std::fprintf(stderr, "folder_list_bench: %d items listed, not %d\n", list->Count(), kFiles);
      return 1;
    }

    BenchProcess process({"ls", "-l", many.string()});
    process.Start("/dev/null");
    const BenchProcess::Ended ended = process.Wait();
    if (ended.status != 0) {
      std::fprintf(stderr, "folder_list_bench: ls -l failed\n");
      return 1;
    }
    if (round == 0) continue;
    ours.push_back(fill);
    ls.push_back(std::chrono::duration<double>(ended.at - process.Started()).count());
  }

  std::printf("LocalFileView filled and painted from %d files: median %.3f s\n", kFiles,
              Median(ours));
  std::printf("ls -l of the same folder:                     median %.3f s\n", Median(ls));
  BenchResults::Put("fig5.fill_s", Median(ours));
  BenchResults::Put("fig5.ls_s", Median(ls));
  BenchResults::Put("fig5.fill_min_s", *std::min_element(ours.begin(), ours.end()));
  BenchResults::Put("fig5.ls_min_s", *std::min_element(ls.begin(), ls.end()));
  BenchResults::Put("fig5.rounds", kRounds);
  BenchResults::Put("fig5.files", kFiles);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const char* tmp = std::getenv("TMPDIR");
  const std::filesystem::path work = std::filesystem::path(tmp != nullptr ? tmp : "/tmp") /
                                     ("ravlin-folder-bench-" + std::to_string(getpid()));
  std::filesystem::remove_all(work);
  int result = 1;
  try {
    result = Run(work);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "folder_list_bench: %s\n", e.what());
  }
  std::filesystem::remove_all(work);
  return result;
}
