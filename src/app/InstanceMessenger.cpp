#include "app/InstanceMessenger.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QVariant>

#include <algorithm>
#include <string>

#include "platform/RuntimeFolder.h"

namespace kst {

namespace {

constexpr std::size_t kMagicOffset = 0;
constexpr std::size_t kMessageOffset = 4;
constexpr std::size_t kWParamOffset = 8;
constexpr std::size_t kLParamOffset = 16;
constexpr std::size_t kResultOffset = 4;
static_assert(kLParamOffset + 8 == kRequestBytes);
static_assert(kResultOffset + 8 == kReplyBytes);
static_assert(sizeof(std::uintptr_t) <= 8 && sizeof(std::intptr_t) <= 8);

constexpr int kConnectRetryMs = 50;

// The folder is the user's own, so the name needs no user id.
constexpr const char* kSocketName = "QT42B09C_Z-ORMIT_M350RGB.socket";
static_assert(std::char_traits<char>::length(kSocketName) <= kRuntimeEntryNameMax);

std::uint64_t ReadLe(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < width; ++i) {
    value |= static_cast<std::uint64_t>(bytes[offset + i]) << (8 * i);
  }
  return value;
}

void WriteLe(std::span<std::uint8_t> bytes, std::size_t offset, std::size_t width,
             std::uint64_t value) {
  for (std::size_t i = 0; i < width; ++i) {
    bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

}  // namespace

std::array<std::uint8_t, kRequestBytes> EncodeRequest(const InstanceRequest& request) {
  std::array<std::uint8_t, kRequestBytes> bytes{};
  WriteLe(bytes, kMagicOffset, 4, kRequestMagic);
  WriteLe(bytes, kMessageOffset, 4, request.message);
  WriteLe(bytes, kWParamOffset, 8, request.wParam);
  WriteLe(bytes, kLParamOffset, 8, static_cast<std::uint64_t>(request.lParam));
  return bytes;
}

std::optional<InstanceRequest> DecodeRequest(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != kRequestBytes) return std::nullopt;
  if (ReadLe(bytes, kMagicOffset, 4) != kRequestMagic) return std::nullopt;
  InstanceRequest request;
  request.message = static_cast<std::uint32_t>(ReadLe(bytes, kMessageOffset, 4));
  request.wParam = static_cast<std::uintptr_t>(ReadLe(bytes, kWParamOffset, 8));
  request.lParam = static_cast<std::intptr_t>(ReadLe(bytes, kLParamOffset, 8));
  return request;
}

std::array<std::uint8_t, kReplyBytes> EncodeReply(std::intptr_t result) {
  std::array<std::uint8_t, kReplyBytes> bytes{};
  WriteLe(bytes, kMagicOffset, 4, kReplyMagic);
  WriteLe(bytes, kResultOffset, 8, static_cast<std::uint64_t>(result));
  return bytes;
}

std::optional<std::intptr_t> DecodeReply(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != kReplyBytes) return std::nullopt;
  if (ReadLe(bytes, kMagicOffset, 4) != kReplyMagic) return std::nullopt;
  return static_cast<std::intptr_t>(ReadLe(bytes, kResultOffset, 8));
}

namespace {

constexpr std::size_t kCtlLengthOffset = 4;
constexpr std::size_t kCtlExitOffset = 4;
constexpr std::size_t kCtlOutLengthOffset = 8;
constexpr std::size_t kCtlErrorLengthOffset = 12;
static_assert(kCtlLengthOffset + 4 == kCtlRequestHeaderBytes);
static_assert(kCtlErrorLengthOffset + 4 == kCtlReplyHeaderBytes);

QByteArray CutUtf8(const QString& text) {
  QByteArray bytes = text.toUtf8();
  if (static_cast<std::size_t>(bytes.size()) > kMaxCtlReplyText) {
    bytes.truncate(static_cast<qsizetype>(kMaxCtlReplyText));
    // Not in the middle of a character.
    while (!bytes.isEmpty() && (static_cast<std::uint8_t>(bytes.back()) & 0xC0) == 0x80)
      bytes.chop(1);
    if (!bytes.isEmpty() && (static_cast<std::uint8_t>(bytes.back()) & 0x80) != 0) bytes.chop(1);
  }
  return bytes;
}

}  // namespace

std::vector<std::uint8_t> EncodeCtlRequest(const QStringList& arguments) {
  std::vector<std::uint8_t> bytes(kCtlRequestHeaderBytes);
  for (const QString& argument : arguments) {
    if (argument.contains(QChar(0))) return {};
    const QByteArray utf8 = argument.toUtf8();
    bytes.insert(bytes.end(), utf8.begin(), utf8.end());
    bytes.push_back(0);
  }
  const std::size_t payload = bytes.size() - kCtlRequestHeaderBytes;
  if (payload > kMaxCtlRequestBytes) return {};
  WriteLe(bytes, kMagicOffset, 4, kCtlRequestMagic);
  WriteLe(bytes, kCtlLengthOffset, 4, payload);
  return bytes;
}

std::optional<QStringList> DecodeCtlRequest(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kCtlRequestHeaderBytes) return std::nullopt;
  if (ReadLe(bytes, kMagicOffset, 4) != kCtlRequestMagic) return std::nullopt;
  const std::uint64_t payload = ReadLe(bytes, kCtlLengthOffset, 4);
  if (payload > kMaxCtlRequestBytes || bytes.size() != kCtlRequestHeaderBytes + payload)
    return std::nullopt;
  const auto text = bytes.subspan(kCtlRequestHeaderBytes);
  if (!text.empty() && text.back() != 0) return std::nullopt;
  QStringList arguments;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != 0) continue;
    arguments << QString::fromUtf8(reinterpret_cast<const char*>(text.data() + start),
                                   static_cast<qsizetype>(i - start));
    start = i + 1;
  }
  return arguments;
}

std::vector<std::uint8_t> EncodeCtlReply(const CtlReply& reply) {
  const QByteArray out = CutUtf8(reply.out);
  const QByteArray error = CutUtf8(reply.error);
  std::vector<std::uint8_t> bytes(kCtlReplyHeaderBytes);
  WriteLe(bytes, kMagicOffset, 4, kCtlReplyMagic);
  WriteLe(bytes, kCtlExitOffset, 4, static_cast<std::uint32_t>(reply.exitCode));
  WriteLe(bytes, kCtlOutLengthOffset, 4, static_cast<std::uint64_t>(out.size()));
  WriteLe(bytes, kCtlErrorLengthOffset, 4, static_cast<std::uint64_t>(error.size()));
  bytes.insert(bytes.end(), out.begin(), out.end());
  bytes.insert(bytes.end(), error.begin(), error.end());
  return bytes;
}

namespace {

// The reply's size from its header; nullopt for a header that is not one.
std::optional<std::size_t> CtlReplySize(std::span<const std::uint8_t> header) {
  if (header.size() < kCtlReplyHeaderBytes) return std::nullopt;
  if (ReadLe(header, kMagicOffset, 4) != kCtlReplyMagic) return std::nullopt;
  const std::uint64_t out = ReadLe(header, kCtlOutLengthOffset, 4);
  const std::uint64_t error = ReadLe(header, kCtlErrorLengthOffset, 4);
  if (out > kMaxCtlReplyText || error > kMaxCtlReplyText) return std::nullopt;
  return kCtlReplyHeaderBytes + out + error;
}

}  // namespace

std::optional<CtlReply> DecodeCtlReply(std::span<const std::uint8_t> bytes) {
  const std::optional<std::size_t> size = CtlReplySize(bytes);
  if (!size || bytes.size() != *size) return std::nullopt;
  const auto outBytes = static_cast<std::size_t>(ReadLe(bytes, kCtlOutLengthOffset, 4));
  CtlReply reply;
  reply.exitCode = static_cast<std::int32_t>(ReadLe(bytes, kCtlExitOffset, 4));
  const auto* text = reinterpret_cast<const char*>(bytes.data() + kCtlReplyHeaderBytes);
  reply.out = QString::fromUtf8(text, static_cast<qsizetype>(outBytes));
  reply.error = QString::fromUtf8(text + outBytes,
                                  static_cast<qsizetype>(*size - kCtlReplyHeaderBytes - outBytes));
  return reply;
}

QString InstanceSocketPath(const QString& runtimeFolder) {
  if (runtimeFolder.isEmpty()) return {};
  return runtimeFolder + QLatin1Char('/') + QLatin1String(kSocketName);
}

// ---- Server -------------------------------------------------------------------

InstanceServer::InstanceServer(QObject* parent) : QObject(parent), relisten_(new QTimer(this)) {
  connect(relisten_, &QTimer::timeout, this, &InstanceServer::CheckListening);
}

InstanceServer::~InstanceServer() { Close(); }

void InstanceServer::SetLimits(ServerLimits limits) { limits_ = limits; }

bool InstanceServer::Listen(const QString& socketPath, InstanceMessageHandler handler) {
  Close();
  path_ = socketPath;
  handler_ = std::move(handler);
  return ListenNow();
}

bool InstanceServer::ListenNow() {
  if (server_ != nullptr) {
    server_->close();
    server_->deleteLater();
    server_ = nullptr;
  }
  if (path_.isEmpty() || !SocketPathFits(QFile::encodeName(path_).toStdString())) {
    lastError_ = QStringLiteral("no runtime folder, or its path is too long for a socket");
    return false;
  }
  auto* server = new QLocalServer(this);
  server->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server, &QLocalServer::newConnection, this, &InstanceServer::Accept);
  QLocalServer::removeServer(path_);
  if (!server->listen(path_)) {
    lastError_ = server->errorString();
    delete server;
    relisten_->start(limits_.relistenMs);
    return false;
  }
  server_ = server;
  lastError_.clear();
  // A listening server costs no wake-ups: instead of asking it every
  // relistenMs, the server is watched for the one way it stops by itself.
  // When an accept fails, Qt closes the listening socket and deletes its
  // notifier; the notifier's end starts the retries. The connection is
  // bound to the server, so closing or replacing the server here (which
  // deletes the notifier with it) does not.
  if (auto* notifier = server->findChild<QSocketNotifier*>()) {
    connect(notifier, &QObject::destroyed, server, [this, server] {
      if (server == server_ && !path_.isEmpty()) relisten_->start(limits_.relistenMs);
    });
    relisten_->stop();
  } else {
    relisten_->start(limits_.relistenMs);
  }
  return true;
}

void InstanceServer::CheckListening() {
  if (path_.isEmpty()) {
    relisten_->stop();
  } else if (IsListening()) {
    // Listening again without a notifier to watch: keep asking.
    if (server_->findChild<QSocketNotifier*>() != nullptr) relisten_->stop();
  } else {
    ListenNow();
  }
}

void InstanceServer::Close() {
  relisten_->stop();
  path_.clear();
  if (server_ == nullptr) return;
  const QString path = server_->fullServerName();
  server_->close();
  // Accepted connections are children of this object, not of the server, so
  // a request being handled (a "/Kill" running the exit sequence that closes
  // the server) still gets its reply.
  server_->deleteLater();
  server_ = nullptr;
  QFile::remove(path);
}

bool InstanceServer::RetryPending() const { return relisten_->isActive(); }

bool InstanceServer::IsListening() const { return server_ != nullptr && server_->isListening(); }

void InstanceServer::SetStatusProvider(std::function<std::intptr_t()> provider) {
  status_ = std::move(provider);
}

void InstanceServer::SetCtlHandler(CtlRequestHandler handler) { ctl_ = std::move(handler); }

namespace {

void Drop(QLocalSocket* socket) {
  socket->abort();
  socket->deleteLater();
}

bool Answered(const QLocalSocket* socket) { return socket->property("kst_answered").toBool(); }

}  // namespace

bool InstanceServer::MakeRoom() {
  std::erase_if(connections_, [](const QPointer<QLocalSocket>& socket) {
    return !socket || socket->state() == QLocalSocket::UnconnectedState;
  });
  if (connections_.size() < static_cast<std::size_t>(std::max(1, limits_.maxConnections))) {
    return true;
  }
  const auto oldestWaiting =
      std::find_if(connections_.begin(), connections_.end(),
                   [](const QPointer<QLocalSocket>& socket) { return !Answered(socket.data()); });
  if (oldestWaiting == connections_.end()) return false;
  Drop(oldestWaiting->data());
  connections_.erase(oldestWaiting);
  return true;
}

void InstanceServer::Accept() {
  while (server_ != nullptr && server_->hasPendingConnections()) {
    QLocalSocket* socket = server_->nextPendingConnection();
    socket->setParent(this);
    // Only this user's processes may wake or end the instance, whatever the
    // socket file's mode.
    if (!PeerIsThisUser(static_cast<int>(socket->socketDescriptor())) || !MakeRoom()) {
      Drop(socket);
      continue;
    }
    connections_.emplace_back(socket);
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { ReadRequest(socket); });
    QTimer::singleShot(limits_.requestDeadlineMs, socket, [socket] {
      if (!Answered(socket)) Drop(socket);
    });
    if (socket->bytesAvailable() > 0) ReadRequest(socket);
  }
}

bool InstanceServer::ReadCtlRequest(QLocalSocket* socket) {
  std::array<std::uint8_t, kCtlRequestHeaderBytes> header{};
  const qint64 peeked =
      socket->peek(reinterpret_cast<char*>(header.data()), static_cast<qint64>(header.size()));
  if (peeked < 4 || ReadLe(header, kMagicOffset, 4) != kCtlRequestMagic) return false;
  if (peeked < static_cast<qint64>(header.size())) return true;  // the rest is on its way
  const std::uint64_t payload = ReadLe(header, 4, 4);
  if (payload > kMaxCtlRequestBytes || !ctl_) {
    socket->setProperty("kst_answered", true);
    socket->abort();
    return true;
  }
  const auto total = static_cast<qint64>(kCtlRequestHeaderBytes + payload);
  if (socket->bytesAvailable() < total) return true;
  const QByteArray raw = socket->read(total);
  socket->setProperty("kst_answered", true);
  const std::optional<QStringList> arguments = DecodeCtlRequest(
      std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(raw.constData()),
                                    static_cast<std::size_t>(raw.size())));
  if (!arguments || socket->bytesAvailable() > 0) {
    socket->abort();
    return true;
  }
  QPointer<QLocalSocket> guard(socket);
  const CtlReply reply = ctl_(*arguments);
  if (!guard || guard->state() != QLocalSocket::ConnectedState) return true;
  const std::vector<std::uint8_t> bytes = EncodeCtlReply(reply);
  guard->write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
  guard->waitForBytesWritten(1000);
  guard->disconnectFromServer();
  return true;
}

void InstanceServer::ReadRequest(QLocalSocket* socket) {
  if (Answered(socket)) return;
  if (ReadCtlRequest(socket)) return;
  if (socket->bytesAvailable() < static_cast<qint64>(kRequestBytes)) return;
  const QByteArray raw = socket->read(kRequestBytes);
  const auto* data = reinterpret_cast<const std::uint8_t*>(raw.constData());
  const std::optional<InstanceRequest> request =
      DecodeRequest(std::span<const std::uint8_t>(data, static_cast<std::size_t>(raw.size())));
  socket->setProperty("kst_answered", true);
  if (!request || socket->bytesAvailable() > 0) {
    socket->abort();
    return;
  }
  // The handler may run a nested event loop during which the sender gives up
  // and the socket goes away.
  QPointer<QLocalSocket> guard(socket);
  std::intptr_t result = 0;
  if (request->message == UM_STATUS) {
    if (request->wParam == kStatusWParam && status_) result = status_();
  } else if (handler_) {
    result = handler_(request->message, request->wParam, request->lParam);
  }
  if (!guard || guard->state() != QLocalSocket::ConnectedState) return;
  const auto reply = EncodeReply(result);
  guard->write(reinterpret_cast<const char*>(reply.data()), static_cast<qint64>(reply.size()));
  // Written at once: after "/Kill" the event loop may not run again.
  guard->waitForBytesWritten(1000);
  guard->disconnectFromServer();
}

// ---- Client -------------------------------------------------------------------

std::optional<std::intptr_t> SendInstanceMessage(const QString& socketPath,
                                                 const InstanceRequest& request,
                                                 SendTimeouts timeouts) {
  if (socketPath.isEmpty() || !SocketPathFits(QFile::encodeName(socketPath).toStdString())) {
    return std::nullopt;
  }
  QLocalSocket socket;
  QDeadlineTimer connectDeadline(timeouts.connectMs);
  for (;;) {
    socket.connectToServer(socketPath);
    if (socket.waitForConnected(static_cast<int>(
            std::max<qint64>(0, std::min<qint64>(connectDeadline.remainingTime(), 1000))))) {
      break;
    }
    socket.abort();
    if (connectDeadline.hasExpired()) return std::nullopt;
    QThread::msleep(kConnectRetryMs);
  }
  // A server of another user is no instance of this user's: it learns
  // nothing, not even the request.
  if (!PeerIsThisUser(static_cast<int>(socket.socketDescriptor()))) return std::nullopt;
  const auto bytes = EncodeRequest(request);
  socket.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
  if (!socket.waitForBytesWritten(timeouts.connectMs)) return std::nullopt;

  QDeadlineTimer replyDeadline(timeouts.replyMs);
  while (socket.bytesAvailable() < static_cast<qint64>(kReplyBytes)) {
    if (replyDeadline.hasExpired()) return std::nullopt;
    if (!socket.waitForReadyRead(static_cast<int>(replyDeadline.remainingTime()))) {
      if (socket.bytesAvailable() >= static_cast<qint64>(kReplyBytes)) break;
      return std::nullopt;
    }
  }
  const QByteArray raw = socket.read(kReplyBytes);
  const auto* data = reinterpret_cast<const std::uint8_t*>(raw.constData());
  return DecodeReply(std::span<const std::uint8_t>(data, static_cast<std::size_t>(raw.size())));
}

CtlSendOutcome SendCtlRequest(const QString& socketPath, const QStringList& arguments,
                              int replyMs) {
  CtlSendOutcome outcome;
  if (socketPath.isEmpty() || !SocketPathFits(QFile::encodeName(socketPath).toStdString()) ||
      !QFile::exists(socketPath)) {
    return outcome;
  }
  QLocalSocket socket;
  socket.connectToServer(socketPath);
  // A socket file that nobody serves is refused at once; a live instance
  // accepts from its listen backlog even while its thread is busy.
  if (!socket.waitForConnected(1000)) return outcome;
  // A server of another user learns nothing, not even the request.
  if (!PeerIsThisUser(static_cast<int>(socket.socketDescriptor()))) {
    outcome.status = CtlSendStatus::Refused;
    return outcome;
  }
  outcome.status = CtlSendStatus::NoAnswer;
  const std::vector<std::uint8_t> request = EncodeCtlRequest(arguments);
  if (request.empty()) return outcome;
  QDeadlineTimer deadline(replyMs);
  socket.write(reinterpret_cast<const char*>(request.data()), static_cast<qint64>(request.size()));
  if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) return outcome;

  QByteArray raw;
  std::optional<std::size_t> size;
  for (;;) {
    raw += socket.readAll();
    const std::span<const std::uint8_t> bytes(
        reinterpret_cast<const std::uint8_t*>(raw.constData()),
        static_cast<std::size_t>(raw.size()));
    if (!size && bytes.size() >= kCtlReplyHeaderBytes) {
      size = CtlReplySize(bytes);
      if (!size) return outcome;
    }
    if (size && bytes.size() >= *size) {
      if (const auto reply = DecodeCtlReply(bytes.first(*size))) {
        outcome.status = CtlSendStatus::Answered;
        outcome.reply = *reply;
      }
      return outcome;
    }
    if (deadline.hasExpired() || socket.state() != QLocalSocket::ConnectedState) return outcome;
    socket.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
  }
}

}  // namespace kst
