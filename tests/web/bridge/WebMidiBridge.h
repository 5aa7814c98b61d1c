#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/midi/MidiService.h"

class QJsonObject;
class QTimer;
class QWebSocket;
class QWebSocketServer;

// The ports of a MIDI service offered to one page at a time over a WebSocket
// on 127.0.0.1, for the page tests' stand-in of Web MIDI. A newer client
// takes the place of the one before (a page that reloads).
//
// Protocol: one JSON object per text frame, "type" saying what it is.
// Times are milliseconds on the bridge's clock; "time" tells the page its
// reading now, so that the page can move them onto its own.
//   bridge -> page
//     {type:"hello", ports:[PORT...]}        first, the ports present now
//     {type:"time", now}                     answers "time"
//     {type:"statechange", port:PORT}        a port came or went
//     {type:"opened", req, id, error?}       answers "open"; error is the
//                                            DOMException name it fails with
//     {type:"midimessage", id, data:[bytes], time}
//                                            a whole SysEx message came in
//   page -> bridge
//     {type:"time"}   {type:"open", req, id}   {type:"close", id}
//     {type:"send", id, data:[bytes]}
//   PORT: {id, type:"input"|"output", name, state:"connected"|"disconnected"}
// Ids stay with a name while the bridge runs, so a port that comes back has
// its old id. A port that goes is closed; opening it again is the page's.
class WebMidiBridge : public QObject {
  Q_OBJECT

 public:
  // A MidiService tells nothing of ports that come and go, so the lists are
  // read at this interval.
  static constexpr std::chrono::milliseconds kPollInterval{50};

  explicit WebMidiBridge(MidiService& service, QObject* parent = nullptr);
  ~WebMidiBridge() override;

  // Listens on 127.0.0.1:`port` (0: any free one); false when it cannot.
  bool Listen(uint16_t port);
  uint16_t Port() const;

 private:
  struct Offered {
    QString id;
    bool input;
    std::string name;
    bool present = true;
    std::unique_ptr<MidiInPort> in;
    std::unique_ptr<MidiOutPort> out;
  };

  void OnConnection();
  void OnText(const QString& text);
  void Poll();
  void Open(int req, Offered& port);
  void Deliver(const QString& id, const std::vector<uint8_t>& message, double time);
  void CloseAll();
  Offered* Find(const QString& id);
  void Post(const QJsonObject& message);
  double Now() const;

  MidiService& service_;
  QWebSocketServer* server_;
  QWebSocket* client_ = nullptr;
  QTimer* poll_;
  std::vector<Offered> ports_;
  int inputsSeen_ = 0;
  int outputsSeen_ = 0;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};
