#pragma once

// Messages between instances of the program: each running instance listens
// on one local socket of the user; a second process connects, sends one
// (message, wParam, lParam) request and waits for the handler's result, as a
// synchronous window-message send would.
//
// Wire format, little-endian, one request and one reply per connection:
//   request: u32 magic 'KSTM', u32 message, u64 wParam, i64 lParam (24 bytes)
//   reply:   u32 magic 'KSTR', i64 result (12 bytes)
// A request with another magic or size closes the connection unanswered.
//
// Command-line requests (kestrunectl), one per connection as well:
//   request: u32 magic 'KSTC', u32 n (at most kMaxCtlRequestBytes), then n
//            bytes: the arguments in UTF-8, each ended by a zero byte
//   reply:   u32 magic 'KSTD', i32 exit code, u32 out bytes, u32 error
//            bytes (each at most kMaxCtlReplyText), then both texts in UTF-8

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

class QLocalServer;
class QLocalSocket;
class QTimer;

namespace kst {

// Messages from a second start and "/Kill", with their wParam values.
inline constexpr std::uint32_t UM_KILL = 0x4D4B;
inline constexpr std::uintptr_t kKillWParam = 0x4C4C494B;  // 'KILL'
// Read-only state query answered by the messenger itself (never reaches the
// window): gives the current tray picture's resource id. For diagnostics and
// end-to-end tests.
inline constexpr std::uint32_t UM_STATUS = 0x5354;
inline constexpr std::uintptr_t kStatusWParam = 0x54415453;  // 'STAT'

inline constexpr std::size_t kRequestBytes = 24;
inline constexpr std::size_t kReplyBytes = 12;
inline constexpr std::uint32_t kRequestMagic = 0x4D54534B;  // "KSTM"
inline constexpr std::uint32_t kReplyMagic = 0x5254534B;    // "KSTR"

inline constexpr std::uint32_t kCtlRequestMagic = 0x4354534B;  // "KSTC"
inline constexpr std::uint32_t kCtlReplyMagic = 0x4454534B;    // "KSTD"
inline constexpr std::size_t kCtlRequestHeaderBytes = 8;
inline constexpr std::size_t kCtlReplyHeaderBytes = 16;
inline constexpr std::size_t kMaxCtlRequestBytes = 8192;
inline constexpr std::size_t kMaxCtlReplyText = 1 << 20;

struct InstanceRequest {
  std::uint32_t message = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
};

std::array<std::uint8_t, kRequestBytes> EncodeRequest(const InstanceRequest& request);
std::optional<InstanceRequest> DecodeRequest(std::span<const std::uint8_t> bytes);
std::array<std::uint8_t, kReplyBytes> EncodeReply(std::intptr_t result);
std::optional<std::intptr_t> DecodeReply(std::span<const std::uint8_t> bytes);

// What a command line asked of the running instance gives back.
struct CtlReply {
  int exitCode = 0;
  QString out;    // for stdout
  QString error;  // one line for stderr; empty on success
  friend bool operator==(const CtlReply&, const CtlReply&) = default;
};
// Empty when an argument holds a zero character or the request would pass
// kMaxCtlRequestBytes.
std::vector<std::uint8_t> EncodeCtlRequest(const QStringList& arguments);
// The whole request, header included; nullopt unless it is exactly one
// well-formed request.
std::optional<QStringList> DecodeCtlRequest(std::span<const std::uint8_t> bytes);
// Texts beyond kMaxCtlReplyText bytes are cut.
std::vector<std::uint8_t> EncodeCtlReply(const CtlReply& reply);
std::optional<CtlReply> DecodeCtlReply(std::span<const std::uint8_t> bytes);

// Runs a command line's request on the user-interface thread.
using CtlRequestHandler = std::function<CtlReply(const QStringList& arguments)>;

// Runs on the receiving instance's user-interface thread; its result is the
// reply. It may run a nested event loop (a message box); the sender waits.
using InstanceMessageHandler = std::function<std::intptr_t(
    std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)>;

// Socket of this user's instances in the user's runtime folder; empty when
// there is no runtime folder.
QString InstanceSocketPath(const QString& runtimeFolder);

// What one misbehaving or crowding client may cost the server.
struct ServerLimits {
  // From accepting a connection until its whole request has arrived; then it
  // is closed unanswered. A request being handled has no deadline.
  int requestDeadlineMs = 2000;
  // Open connections at once. A connection past it closes the oldest one
  // still waiting for its request, or is itself closed when every open one
  // is being handled.
  int maxConnections = 16;
  // How often a server that stopped listening (no file descriptor left for
  // an accept, or the first listen failed) tries to listen again.
  int relistenMs = 1000;
};

class InstanceServer : public QObject {
  Q_OBJECT

 public:
  explicit InstanceServer(QObject* parent = nullptr);
  ~InstanceServer() override;

  // Applies to connections accepted from then on; call before Listen.
  void SetLimits(ServerLimits limits);

  // Removes a socket file left by a dead instance and listens, readable and
  // writable by the user only. The caller holds the instance lock, so no
  // live instance owns the file. False when the socket cannot be made now;
  // until Close the server tries again every relistenMs, and it listens
  // again the same way whenever it stops listening by itself (Qt closes a
  // local server, and removes its socket, when an accept fails). While it
  // listens, no timer of its own runs.
  bool Listen(const QString& socketPath, InstanceMessageHandler handler);
  // Stops accepting; requests already being handled still get their reply.
  void Close();
  bool IsListening() const;
  // Whether the server waits to try listening again.
  bool RetryPending() const;
  // Why the last attempt to listen failed; empty after a success.
  QString LastError() const { return lastError_; }

  // Answers UM_STATUS; none: UM_STATUS gives 0.
  void SetStatusProvider(std::function<std::intptr_t()> provider);
  // Answers command-line requests; none: they are closed unanswered.
  void SetCtlHandler(CtlRequestHandler handler);

 private:
  bool ListenNow();
  void CheckListening();
  void Accept();
  bool MakeRoom();
  void ReadRequest(QLocalSocket* socket);
  // True when the connection carries a command-line request (answered or
  // dropped here); false for the fixed-size messages.
  bool ReadCtlRequest(QLocalSocket* socket);

  QLocalServer* server_ = nullptr;
  QTimer* relisten_ = nullptr;
  QString path_;
  QString lastError_;
  ServerLimits limits_;
  // Open connections in the order they were accepted.
  std::vector<QPointer<QLocalSocket>> connections_;
  InstanceMessageHandler handler_;
  std::function<std::intptr_t()> status_;
  CtlRequestHandler ctl_;
};

struct SendTimeouts {
  int connectMs = 5000;  // the receiver may still be starting: retried until then
  int replyMs = 15000;   // the receiver's window thread may be busy (an Apply ending)
};

// Sends the request and waits for the result; nullopt when no instance
// listens within the connect time, the socket is served by another user
// (nothing is sent then), or no well-formed reply arrives in time. Needs no
// event loop.
std::optional<std::intptr_t> SendInstanceMessage(const QString& socketPath,
                                                 const InstanceRequest& request,
                                                 SendTimeouts timeouts = {});

enum class CtlSendStatus {
  Answered,    // reply holds the instance's answer
  NoInstance,  // nobody listens on the socket: the caller opens the keyboard itself
  Refused,     // the socket is served by another user: nothing was sent
  NoAnswer,    // no whole reply within replyMs
};
struct CtlSendOutcome {
  CtlSendStatus status = CtlSendStatus::NoInstance;
  CtlReply reply;
};
// Sends a command line's request to the instance listening on socketPath.
// Tries to connect once (an instance that runs listens); waits replyMs for
// the whole reply. Needs no event loop.
CtlSendOutcome SendCtlRequest(const QString& socketPath, const QStringList& arguments,
                              int replyMs = 5000);

}  // namespace kst
