#pragma once

#include <cstdint>
#include <stack>
#include <string>
#include <vector>

#include "midi/Task.h"
#include "protocol/QnKbd.h"
#include "protocol/Subject.h"

class QnData;
class QnDataDrive;
class QnDataDirectory;
class QnSysExObserver;

// The connected keyboard: its parameter accessor, the memory map as a tree of
// entries, and the cursor of the folder enumeration.
class QnKbdDrv : public Subject {
 public:
  static constexpr const char* kModelName = "TRV-408";
  static constexpr int32_t kTypeTrv408 = 0;

  // The single object; the first call creates it for `model`, later calls
  // return it and ignore the argument.
  static QnKbdDrv* Instance(const std::string& model = kModelName);
  // Destroys the single object (program end); Instance() may create a new one.
  static void Destroy();

  // Get/Update List: reads the whole memory map.
  Task<void> Connect(int32_t inDevice, int32_t outDevice);
  void Disconnect();
  bool IsConnected() const { return connected_; }
  void AttachObserver(QnSysExObserver* observer);
  // Lets go of the MIDI ports (their list has changed); the list read stays.
  void CloseDevices() { kbd_.CloseDevices(); }

  int GetDriveCount() const;
  std::string GetDriveName(int index) const;
  QnDataDrive* GetDrive(const std::string& name) const;
  QnDataDrive* Root() const { return root_; }
  QnDataDrive* FindByPath(const std::string& path, QnDataDrive* entry) const;
  bool HasSubDirectory(const std::string& path) const;
  bool FindFirst(const std::string& path, uint8_t mask, QnData*& out);
  bool FindNext(QnData*& out);
  void FindClose();

  Task<void> UpdateFreeSpace(std::string driveName);
  // A delete and the free-space read after it are one item: a cancel waits
  // for both.
  Task<void> DeleteData(QnData* entry);
  // Asks the work on the keyboard to stop (see MidiDev::RequestCancel).
  void RequestCancel();

  // Keyboard item number of a slot, as the requests and transfers address it.
  static uint32_t ItemNumber(const QnData& slot);

  QnKbd& Kbd() { return kbd_; }

 private:
  explicit QnKbdDrv(const std::string& model);
  ~QnKbdDrv();
  QnKbdDrv(const QnKbdDrv&) = delete;
  QnKbdDrv& operator=(const QnKbdDrv&) = delete;

  void BuildTree(const std::string& model);
  void BuildMemoryMap();
  Task<void> ReadDirectory(QnDataDrive* folder);
  QnData* NextMatch();

  QnKbd kbd_;
  int32_t inDevice_ = 0;
  int32_t outDevice_ = 0;
  int32_t kbdType_ = -1;
  bool connected_ = false;
  std::vector<std::string> driveNames_;
  QnDataDrive* root_ = nullptr;
  std::stack<QnDataDrive*> dirStack_;
  std::stack<uint32_t> indexStack_;
  std::stack<uint8_t> maskStack_;
  QnDataDrive* curDir_ = nullptr;
  uint32_t curIndex_ = 0;
  uint8_t curMask_ = 0;
};
