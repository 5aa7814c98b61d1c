#include "WebMidiBridge.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>
#include <algorithm>
#include <cstdio>

namespace {

QJsonObject Describe(const QString& id, bool input, const std::string& name, bool present) {
  return {{"id", id},
          {"type", input ? "input" : "output"},
          {"name", QString::fromStdString(name)},
          {"state", present ? "connected" : "disconnected"}};
}

}  // namespace

WebMidiBridge::WebMidiBridge(MidiService& service, QObject* parent)
    : QObject(parent),
      service_(service),
      server_(new QWebSocketServer("webmidi-bridge", QWebSocketServer::NonSecureMode, this)),
      poll_(new QTimer(this)) {
  connect(server_, &QWebSocketServer::newConnection, this, &WebMidiBridge::OnConnection);
  connect(poll_, &QTimer::timeout, this, &WebMidiBridge::Poll);
  Poll();
  poll_->start(kPollInterval);
}

// The ports go before the service they came from.
WebMidiBridge::~WebMidiBridge() { CloseAll(); }

bool WebMidiBridge::Listen(uint16_t port) { return server_->listen(QHostAddress::LocalHost, port); }

uint16_t WebMidiBridge::Port() const { return server_->serverPort(); }

double WebMidiBridge::Now() const {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_)
      .count();
}

void WebMidiBridge::OnConnection() {
  QWebSocket* socket = server_->nextPendingConnection();
  if (client_ != nullptr) {
    CloseAll();
    client_->disconnect(this);
    client_->close();
    client_->deleteLater();
  }
  client_ = socket;
  connect(socket, &QWebSocket::textMessageReceived, this, &WebMidiBridge::OnText);
  connect(socket, &QWebSocket::disconnected, this, [this, socket] {
    if (client_ != socket) return;
    CloseAll();
    client_ = nullptr;
    socket->deleteLater();
  });
  QJsonArray present;
  for (const Offered& p : ports_) {
    if (p.present) present.append(Describe(p.id, p.input, p.name, true));
  }
  Post({{"type", "hello"}, {"ports", present}});
}

void WebMidiBridge::OnText(const QString& text) {
  const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
  const QString type = message["type"].toString();
  Offered* port = Find(message["id"].toString());
  if (type == "time") {
    Post({{"type", "time"}, {"now", Now()}});
  } else if (type == "open") {
    const int req = message["req"].toInt();
    if (port != nullptr) {
      Open(req, *port);
    } else {
      Post({{"type", "opened"}, {"req", req}, {"error", "NotFoundError"}});
    }
  } else if (type == "close" && port != nullptr) {
    port->in.reset();
    port->out.reset();
  } else if (type == "send" && port != nullptr && port->out) {
    std::vector<uint8_t> bytes;
    for (const QJsonValue& b : message["data"].toArray()) bytes.push_back(b.toInt());
    // Web MIDI has no word for a lost message; the log tells the test's reader.
    if (port->out->Send(bytes.data(), bytes.size(), nullptr) != midi_result::kOk) {
      std::fprintf(stderr, "webmidi-bridge: a message to %s was lost\n", port->name.c_str());
    }
  }
}

// The service numbers its ports by their place in its lists as they are now.
void WebMidiBridge::Open(int req, Offered& port) {
  QJsonObject answer{{"type", "opened"}, {"req", req}, {"id", port.id}};
  const std::vector<std::string> names =
      port.input ? service_.InputNames() : service_.OutputNames();
  const auto found = std::find(names.begin(), names.end(), port.name);
  MidiResult result = midi_result::kBadDeviceId;
  if (port.in || port.out) {
    result = midi_result::kOk;
  } else if (found != names.end()) {
    const auto device = static_cast<unsigned>(found - names.begin());
    if (port.input) {
      // The service's thread hands each message to this object's.
      result = service_.OpenIn(
          device,
          [this, id = port.id](const uint8_t* data, size_t size, MidiArrival arrived) {
            std::vector<uint8_t> message(data, data + size);
            const double time =
                std::chrono::duration<double, std::milli>(arrived - start_).count();
            QMetaObject::invokeMethod(
                this, [this, id, message, time] { Deliver(id, message, time); },
                Qt::QueuedConnection);
          },
          port.in);
    } else {
      result = service_.OpenOut(device, port.out);
    }
  }
  if (result == midi_result::kBadDeviceId) {
    answer["error"] = "InvalidStateError";
  } else if (result != midi_result::kOk) {
    answer["error"] = "InvalidAccessError";
  }
  Post(answer);
}

void WebMidiBridge::Deliver(const QString& id, const std::vector<uint8_t>& message, double time) {
  const Offered* port = Find(id);
  if (port == nullptr || !port->in) return;  // closed meanwhile
  QJsonArray data;
  for (uint8_t b : message) data.append(b);
  Post({{"type", "midimessage"}, {"id", id}, {"data", data}, {"time", time}});
}

void WebMidiBridge::Poll() {
  for (const bool input : {true, false}) {
    const std::vector<std::string> names = input ? service_.InputNames() : service_.OutputNames();
    for (Offered& p : ports_) {
      if (p.input != input) continue;
      const bool present = std::find(names.begin(), names.end(), p.name) != names.end();
      if (present == p.present) continue;
      p.present = present;
      p.in.reset();
      p.out.reset();
      Post({{"type", "statechange"}, {"port", Describe(p.id, p.input, p.name, present)}});
    }
    for (const std::string& name : names) {
      const bool known = std::any_of(ports_.begin(), ports_.end(), [&](const Offered& p) {
        return p.input == input && p.name == name;
      });
      if (known) continue;
      const QString id =
          input ? QString("in-%1").arg(++inputsSeen_) : QString("out-%1").arg(++outputsSeen_);
      ports_.push_back(Offered{id, input, name, true, nullptr, nullptr});
      Post({{"type", "statechange"}, {"port", Describe(id, input, name, true)}});
    }
  }
}

void WebMidiBridge::CloseAll() {
  for (Offered& p : ports_) {
    p.in.reset();
    p.out.reset();
  }
}

WebMidiBridge::Offered* WebMidiBridge::Find(const QString& id) {
  const auto found =
      std::find_if(ports_.begin(), ports_.end(), [&](const Offered& p) { return p.id == id; });
  return found != ports_.end() ? &*found : nullptr;
}

void WebMidiBridge::Post(const QJsonObject& message) {
  if (client_ == nullptr) return;
  client_->sendTextMessage(
      QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
}
