#include "app/InstanceMessenger.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <future>
#include <vector>

#include <grp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "../support/ForeignSocketServer.h"
#include "TestApp.h"
#include "app/AppContext.h"
#include "app/SingleInstance.h"
#include "device/DeviceHost.h"

namespace kst {
namespace {

struct Received {
  std::uint32_t message;
  std::uintptr_t wParam;
  std::intptr_t lParam;
};

// The main window's side as far as the messages go: handles UM_OPEN and
// UM_KILL only with their own wParam values.
struct FakeWindow {
  std::vector<Received> received;
  int opened = 0;
  int killed = 0;
  std::intptr_t Handle(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    received.push_back({message, wParam, lParam});
    if (message == UM_OPEN && wParam == kOpenWParam) return ++opened, 1;
    if (message == UM_KILL && wParam == kKillWParam) return ++killed, 1;
    return 0;
  }
  InstanceMessageHandler Handler() {
    return [this](std::uint32_t m, std::uintptr_t w, std::intptr_t l) { return Handle(m, w, l); };
  }
};

// Runs `work` on another thread while this thread serves the event loop, as
// a second process would wait on the first.
template <typename T>
T WhileServing(std::function<T()> work) {
  std::future<T> result = std::async(std::launch::async, std::move(work));
  test::SpinUntil(
      [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 20000);
  return result.get();
}

class InstanceMessengerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnsureApplication();
    ASSERT_TRUE(dir_.isValid());
    socket_ = InstanceSocketPath(dir_.path());
  }

  std::optional<std::intptr_t> Send(InstanceRequest request) {
    return WhileServing<std::optional<std::intptr_t>>([this, request] {
      return SendInstanceMessage(socket_, request, {1000, 3000});
    });
  }

  QTemporaryDir dir_;
  QString socket_;
};

TEST_F(InstanceMessengerTest, RecordsRoundTripLittleEndian) {
  const InstanceRequest request{UM_KILL, kKillWParam, -2};
  const auto bytes = EncodeRequest(request);
  EXPECT_EQ(bytes[0], 'K');
  EXPECT_EQ(bytes[3], 'M');
  EXPECT_EQ(bytes[4], 0x4B);  // 0x4D4B
  EXPECT_EQ(bytes[5], 0x4D);
  EXPECT_EQ(bytes[8], 0x4B);  // 'KILL' from its low byte up
  EXPECT_EQ(bytes[16], 0xFE);
  const auto back = DecodeRequest(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->message, request.message);
  EXPECT_EQ(back->wParam, request.wParam);
  EXPECT_EQ(back->lParam, request.lParam);

  EXPECT_EQ(DecodeReply(EncodeReply(-103)), std::optional<std::intptr_t>(-103));

  auto damaged = bytes;
  damaged[0] = 'X';
  EXPECT_FALSE(DecodeRequest(damaged));
  EXPECT_FALSE(DecodeRequest(std::span(bytes).first(kRequestBytes - 1)));
  const auto reply = EncodeReply(1);
  EXPECT_FALSE(DecodeReply(std::span(reply).first(4)));
  EXPECT_FALSE(DecodeReply(std::span(bytes).first(kReplyBytes)));
}

TEST_F(InstanceMessengerTest, HandlerResultReturnsToTheSender) {
  FakeWindow window;
  InstanceServer server;
  ASSERT_TRUE(server.Listen(socket_, window.Handler()));

  struct Case {
    InstanceRequest request;
    std::intptr_t result;
  };
  const std::vector<Case> cases = {
      {{UM_OPEN, kOpenWParam, 0}, 1}, {{UM_OPEN, kVersionWParam, 0}, 0}, {{UM_OPEN, 0, 0}, 0},
      {{UM_KILL, kKillWParam, 0}, 1}, {{UM_KILL, kOpenWParam, 0}, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Send(c.request), std::optional<std::intptr_t>(c.result))
        << std::hex << c.request.message << " " << c.request.wParam;
  }
  EXPECT_EQ(window.opened, 1);
  EXPECT_EQ(window.killed, 1);
  ASSERT_EQ(window.received.size(), cases.size());
  EXPECT_EQ(window.received[1].wParam, kVersionWParam);
}

TEST_F(InstanceMessengerTest, StatusQueryNeverReachesTheWindow) {
  FakeWindow window;
  InstanceServer server;
  ASSERT_TRUE(server.Listen(socket_, window.Handler()));
  EXPECT_EQ(Send({UM_STATUS, kStatusWParam, 0}), std::optional<std::intptr_t>(0));
  server.SetStatusProvider([] { return std::intptr_t{141}; });
  EXPECT_EQ(Send({UM_STATUS, kStatusWParam, 0}), std::optional<std::intptr_t>(141));
  EXPECT_EQ(Send({UM_STATUS, 1, 0}), std::optional<std::intptr_t>(0));
  EXPECT_TRUE(window.received.empty());
}

TEST_F(InstanceMessengerTest, MalformedRequestIsDroppedAndServerGoesOn) {
  FakeWindow window;
  InstanceServer server;
  ASSERT_TRUE(server.Listen(socket_, window.Handler()));
  const bool closedUnanswered = WhileServing<bool>([this] {
    QLocalSocket socket;
    socket.connectToServer(socket_);
    if (!socket.waitForConnected(1000)) return false;
    socket.write(QByteArray(kRequestBytes, 'x'));
    socket.waitForBytesWritten(1000);
    socket.waitForDisconnected(3000);
    return socket.state() == QLocalSocket::UnconnectedState && socket.bytesAvailable() == 0;
  });
  EXPECT_TRUE(closedUnanswered);
  EXPECT_TRUE(window.received.empty());
  EXPECT_EQ(Send({UM_OPEN, kOpenWParam, 0}), std::optional<std::intptr_t>(1));
}

TEST_F(InstanceMessengerTest, SocketIsTheUsersOnlyAndGoesWithClose) {
  FakeWindow window;
  InstanceServer server;
  // A socket file left by a dead instance is replaced.
  QFile stale(socket_);
  ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
  stale.close();
  ASSERT_TRUE(server.Listen(socket_, window.Handler()));
  const QFileInfo info(socket_);
  ASSERT_TRUE(info.exists());
  EXPECT_EQ(info.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther |
                                  QFile::WriteOther | QFile::ExeGroup | QFile::ExeOther),
            QFile::Permissions());
  server.Close();
  EXPECT_FALSE(server.IsListening());
  EXPECT_FALSE(QFileInfo::exists(socket_));
  EXPECT_FALSE(Send({UM_OPEN, kOpenWParam, 0}));
}

TEST_F(InstanceMessengerTest, NobodyListeningGivesUpAfterTheConnectTime) {
  EXPECT_FALSE(SendInstanceMessage(socket_, {UM_OPEN, kOpenWParam, 0}, {200, 200}));
}

// A connection of its own to the socket, without Qt; -1 when refused.
int ConnectRaw(const QByteArray& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (static_cast<std::size_t>(path.size()) >= sizeof addr.sun_path) return -1;
  std::memcpy(addr.sun_path, path.constData(), static_cast<std::size_t>(path.size()) + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
    return fd;
  }
  if (fd >= 0) ::close(fd);
  return -1;
}

// True when the server has closed the connection without sending anything.
bool ClosedUnanswered(int fd) {
  char byte;
  const ssize_t n = ::recv(fd, &byte, 1, MSG_DONTWAIT);
  return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

TEST_F(InstanceMessengerTest, SilentAndPartialRequestsAreClosedAtTheirDeadline) {
  FakeWindow window;
  InstanceServer server;
  server.SetLimits({500, 16, 1000});
  ASSERT_TRUE(server.Listen(socket_, window.Handler()));
  const auto request = EncodeRequest({UM_OPEN, kOpenWParam, 0});
  for (const std::size_t sent : {std::size_t{0}, kRequestBytes / 2, kRequestBytes - 1}) {
    SCOPED_TRACE(sent);
    const int fd = ConnectRaw(QFile::encodeName(socket_));
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::send(fd, request.data(), sent, MSG_NOSIGNAL), static_cast<ssize_t>(sent));
    EXPECT_TRUE(test::SpinUntil([fd] { return ClosedUnanswered(fd); }, 15000));
    ::close(fd);
  }
  EXPECT_TRUE(window.received.empty());
  EXPECT_EQ(Send({UM_OPEN, kOpenWParam, 0}), std::optional<std::intptr_t>(1));
}

TEST_F(InstanceMessengerTest, ConnectionsPastTheCapCloseTheOldestWaiting) {
  FakeWindow window;
  InstanceServer server;
  server.SetLimits({600000, 4, 1000});
  ASSERT_TRUE(server.Listen(socket_, window.Handler()));
  std::vector<int> idle;
  for (int i = 0; i < 6; ++i) {
    idle.push_back(ConnectRaw(QFile::encodeName(socket_)));
    ASSERT_GE(idle.back(), 0);
  }
  EXPECT_TRUE(test::SpinUntil(
      [&] { return ClosedUnanswered(idle[0]) && ClosedUnanswered(idle[1]); }, 15000));
  // A real request still gets through, in place of the oldest idle one.
  EXPECT_EQ(Send({UM_OPEN, kOpenWParam, 0}), std::optional<std::intptr_t>(1));
  EXPECT_TRUE(test::SpinUntil([&] { return ClosedUnanswered(idle[2]); }, 15000));
  for (std::size_t i = 3; i < idle.size(); ++i) EXPECT_FALSE(ClosedUnanswered(idle[i])) << i;
  for (const int fd : idle) ::close(fd);
}

// With no file descriptor left, Qt's accept fails and the local server closes
// itself and removes its socket; once descriptors are free again the server
// listens again by itself.
TEST_F(InstanceMessengerTest, ListensAgainWhenFileDescriptorsComeBack) {
  FakeWindow window;
  InstanceServer server;
  server.SetLimits({2000, 16, 50});
  ASSERT_TRUE(server.Listen(socket_, window.Handler()));
  // Listening, it wakes the process for nothing: no retry timer runs.
  EXPECT_FALSE(server.RetryPending());

  const QByteArray path = QFile::encodeName(socket_);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.constData(), static_cast<std::size_t>(path.size()) + 1);
  const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  ASSERT_GE(client, 0);
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
  rlimit low = old;
  low.rlim_cur = std::min<rlim_t>(old.rlim_cur, 1024);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  std::vector<int> fillers;
  for (int fd; (fd = ::dup(client)) >= 0;) fillers.push_back(fd);
  ASSERT_EQ(::connect(client, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
  const bool stopped = test::SpinUntil([&] { return !server.IsListening(); }, 15000);
  for (const int fd : fillers) ::close(fd);
  ::setrlimit(RLIMIT_NOFILE, &old);
  ::close(client);
  ASSERT_TRUE(stopped) << "the server never ran out of descriptors";

  EXPECT_TRUE(test::SpinUntil([&] { return server.IsListening(); }, 15000));
  EXPECT_EQ(Send({UM_OPEN, kOpenWParam, 0}), std::optional<std::intptr_t>(1));
  EXPECT_TRUE(test::SpinUntil([&] { return !server.RetryPending(); }, 15000));
}

// Runs `work` in a child process as user nobody while this thread serves the
// event loop; gives the child's exit code, or -1. `work` runs after fork in a
// process with threads: system calls only, nothing that allocates.
int RunAsNobody(const std::function<int()>& work) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
    ::_exit(work());
  }
  if (pid < 0) return -1;
  int status = 0;
  if (!test::SpinUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 30000)) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The socket file's mode is opened on purpose here: the peer's user id alone
// must keep the other user out.
TEST_F(InstanceMessengerTest, ServerDropsAConnectionOfAnotherUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to connect as another user";
  FakeWindow window;
  InstanceServer server;
  ASSERT_TRUE(server.Listen(socket_, window.Handler()));
  ASSERT_EQ(::chmod(QFile::encodeName(dir_.path()).constData(), 0755), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(socket_).constData(), 0777), 0);
  const QByteArray path = QFile::encodeName(socket_);
  const auto request = EncodeRequest({UM_KILL, kKillWParam, 0});
  const int code = RunAsNobody([&] {
    const int fd = ConnectRaw(path);
    if (fd < 0) return 2;
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size())) {
      return 0;  // already closed
    }
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, 10000) <= 0) return 3;
    char reply[kReplyBytes];
    return ::recv(fd, reply, sizeof reply, 0) > 0 ? 1 : 0;
  });
  EXPECT_EQ(code, 0) << "1: answered; 2: could not connect; 3: held open";
  EXPECT_TRUE(window.received.empty());
}

TEST_F(InstanceMessengerTest, ClientTellsNothingToAServerOfAnotherUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to serve as another user";
  ASSERT_EQ(::chmod(QFile::encodeName(dir_.path()).constData(), 0777), 0);
  const auto reply = EncodeReply(1);
  // A squatter that answers every request with success.
  test::ForeignSocketServer squatter(
      QFile::encodeName(socket_).toStdString(),
      std::string_view(reinterpret_cast<const char*>(reply.data()), reply.size()));
  ASSERT_TRUE(squatter.Listening());
  EXPECT_FALSE(SendInstanceMessage(socket_, {UM_KILL, kKillWParam, 0}, {1000, 3000}));
  EXPECT_EQ(squatter.Wait(), 0) << "1: the request reached the other user";
}

TEST_F(InstanceMessengerTest, CommandLineRecordsAreBoundsChecked) {
  const QStringList arguments{QStringLiteral("assign"), QStringLiteral("G1B"),
                              QStringLiteral("media"), QStringLiteral("V+ \u00e9")};
  const std::vector<std::uint8_t> request = EncodeCtlRequest(arguments);
  EXPECT_EQ(DecodeCtlRequest(request), std::optional<QStringList>(arguments));
  const CtlReply reply{3, QStringLiteral("out\n"), QStringLiteral("unknown key: X")};
  EXPECT_EQ(DecodeCtlReply(EncodeCtlReply(reply)), std::optional<CtlReply>(reply));

  // A length that overstates or understates the payload, a last argument
  // without its terminator, a payload past the limit: all refused.
  auto longer = request;
  longer[4] += 1;
  EXPECT_FALSE(DecodeCtlRequest(longer));
  EXPECT_FALSE(DecodeCtlRequest(std::span(request).first(request.size() - 1)));
  auto unterminated = request;
  unterminated.back() = 'x';
  EXPECT_FALSE(DecodeCtlRequest(unterminated));
  EXPECT_TRUE(
      EncodeCtlRequest({QString(static_cast<qsizetype>(kMaxCtlRequestBytes), QLatin1Char('a'))})
          .empty());
  EXPECT_TRUE(EncodeCtlRequest({QStringLiteral("a") + QChar(0)}).empty());
  auto huge = EncodeCtlReply(reply);
  huge[8] = 0xFF;
  huge[9] = 0xFF;
  huge[10] = 0xFF;  // out text of 16 MiB
  EXPECT_FALSE(DecodeCtlReply(huge));
}

TEST_F(InstanceMessengerTest, CommandLineRequestRunsBesideTheOldMessages) {
  FakeWindow window;
  InstanceServer server;
  ASSERT_TRUE(server.Listen(socket_, window.Handler()));
  QStringList seen;
  server.SetCtlHandler([&seen](const QStringList& arguments) {
    seen = arguments;
    return CtlReply{0, QStringLiteral("2\n"), QString()};
  });
  const CtlSendOutcome outcome = WhileServing<CtlSendOutcome>(
      [this] { return SendCtlRequest(socket_, {QStringLiteral("profile")}, 3000); });
  EXPECT_EQ(outcome.status, CtlSendStatus::Answered);
  EXPECT_EQ(outcome.reply.out, QStringLiteral("2\n"));
  EXPECT_EQ(seen, QStringList{QStringLiteral("profile")});
  EXPECT_EQ(Send({UM_OPEN, kOpenWParam, 0}), std::optional<std::intptr_t>(1));

  // No instance: the command line runs on its own.
  server.Close();
  EXPECT_EQ(SendCtlRequest(socket_, {QStringLiteral("profile")}, 3000).status,
            CtlSendStatus::NoInstance);
}

TEST_F(InstanceMessengerTest, CommandLineTellsNothingToAServerOfAnotherUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to serve as another user";
  ASSERT_EQ(::chmod(QFile::encodeName(dir_.path()).constData(), 0777), 0);
  const auto reply = EncodeCtlReply({0, QString(), QString()});
  test::ForeignSocketServer squatter(
      QFile::encodeName(socket_).toStdString(),
      std::string_view(reinterpret_cast<const char*>(reply.data()), reply.size()));
  ASSERT_TRUE(squatter.Listening());
  EXPECT_EQ(SendCtlRequest(socket_, {QStringLiteral("status")}, 3000).status,
            CtlSendStatus::Refused);
  EXPECT_EQ(squatter.Wait(), 0) << "1: the request reached the other user";
}

// The start-up decision, with a process list of its own in which the first
// instance runs as process 4242.
class InstanceGateTest : public InstanceMessengerTest {
 protected:
  void SetUp() override {
    InstanceMessengerTest::SetUp();
    ASSERT_TRUE(proc_.isValid());
    QDir(proc_.path()).mkpath(QStringLiteral("4242"));
    QFile::link(QStringLiteral("/opt/k/kestrune"), proc_.filePath(QStringLiteral("4242/exe")));
  }

  InstanceConfig Config(qint64 self) const {
    InstanceConfig config;
    config.runtimeFolder = dir_.path();
    config.executableFileName = QStringLiteral("kestrune");
    config.selfPid = self;
    config.procRoot = proc_.path();
    config.timeouts = {1000, 3000};
    return config;
  }

  StartupGate RunSecond(const QStringList& arguments, bool& startFlag) {
    return WhileServing<StartupGate>([this, arguments, &startFlag] {
      SingleInstance second(Config(5000));
      return second.Run(CommandLine::Parse(arguments), startFlag);
    });
  }

  QTemporaryDir proc_;
};

TEST_F(InstanceGateTest, FirstInstanceTakesTheLockAndHonoursStart) {
  SingleInstance first(Config(4242));
  bool startFlag = false;
  EXPECT_EQ(first.Run(CommandLine::Parse({"/START"}), startFlag), StartupGate::Continue);
  EXPECT_TRUE(startFlag);
  EXPECT_TRUE(first.HoldsLock());
  first.Close();
  EXPECT_FALSE(first.HoldsLock());
}

TEST_F(InstanceGateTest, SecondStartWakesTheFirstAndEnds) {
  FakeWindow window;
  SingleInstance first(Config(4242));
  bool flag = false;
  ASSERT_EQ(first.Run(CommandLine::Parse({}), flag), StartupGate::Continue);
  ASSERT_TRUE(first.Listen(window.Handler()));

  bool secondFlag = false;
  EXPECT_EQ(RunSecond({}, secondFlag), StartupGate::Exit);
  EXPECT_EQ(window.opened, 1);
  EXPECT_EQ(window.killed, 0);
}

TEST_F(InstanceGateTest, KillTellsTheFirstToExitAndEndsEvenAfterStart) {
  FakeWindow window;
  SingleInstance first(Config(4242));
  bool flag = false;
  ASSERT_EQ(first.Run(CommandLine::Parse({}), flag), StartupGate::Continue);
  ASSERT_TRUE(first.Listen(window.Handler()));

  bool secondFlag = false;
  EXPECT_EQ(RunSecond({"/Start", "/kill"}, secondFlag), StartupGate::Exit);
  EXPECT_TRUE(secondFlag);
  EXPECT_EQ(window.killed, 1);
  EXPECT_EQ(window.opened, 0);
  EXPECT_TRUE(first.HoldsLock());  // the second process never takes it
}

// Process 4242 is a "kestrune" of this user. Its socket is waited for only
// while this runtime folder's lock has a live holder (the instance is still
// starting); without one it runs in another session, whose socket never
// appears here, so "/Kill" makes one attempt and ends.
TEST_F(InstanceGateTest, KillWaitsForTheSocketOnlyWhileTheLockIsHeld) {
  struct Case {
    bool lockHeld;
    int listenAfterMs;
    int killed;
  };
  for (const Case c : {Case{true, 300, 1}, Case{false, 5000, 0}}) {
    SCOPED_TRACE(c.lockHeld);
    FakeWindow window;
    InstanceLock lock(dir_.path());
    if (c.lockHeld) {
      ASSERT_EQ(lock.TryAcquire(), InstanceLock::Result::Acquired);
    }
    InstanceServer late;
    QTimer::singleShot(c.listenAfterMs, &late, [&] { late.Listen(socket_, window.Handler()); });
    InstanceConfig config = Config(5000);
    config.timeouts = {60000, 3000};
    bool flag = false;
    EXPECT_EQ(WhileServing<StartupGate>([&] {
                SingleInstance second(config);
                return second.Run(CommandLine::Parse({"/Kill"}), flag);
              }),
              StartupGate::Exit);
    EXPECT_EQ(window.killed, c.killed);
  }
}

TEST_F(InstanceGateTest, KillWithoutARunningInstanceEndsAndTakesNothing) {
  QFile::remove(proc_.filePath(QStringLiteral("4242/exe")));
  SingleInstance alone(Config(5000));
  bool flag = false;
  EXPECT_EQ(alone.Run(CommandLine::Parse({"/KILL"}), flag), StartupGate::Exit);
  EXPECT_FALSE(alone.HoldsLock());
  EXPECT_FALSE(QFileInfo::exists(socket_));
}

TEST_F(InstanceGateTest, LockHeldByAnotherProgramLetsThisOneRun) {
  // The lock's holder (this test process) is not a "kestrune": nobody to wake.
  QFile::remove(proc_.filePath(QStringLiteral("4242/exe")));
  InstanceLock other(dir_.path());
  ASSERT_EQ(other.TryAcquire(), InstanceLock::Result::Acquired);
  SingleInstance next(Config(5000));
  bool flag = false;
  EXPECT_EQ(next.Run(CommandLine::Parse({}), flag), StartupGate::Continue);
  EXPECT_FALSE(next.HoldsLock());
}

}  // namespace
}  // namespace kst
