#include "platform/RuntimeFolder.h"

#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kst {

namespace {

constexpr std::size_t kSocketPathCapacity = sizeof(sockaddr_un{}.sun_path);

bool IsSet(const char* value) { return value != nullptr && *value != '\0'; }

std::string HomeFolder(const char* home) {
  if (IsSet(home) && home[0] == '/') return home;
  // HOME may be unset in a service or relative by mistake: the user's entry
  // in the password database names the home folder then.
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] != '/') {
    return {};
  }
  return found->pw_dir;
}

}  // namespace

bool MakeFolders(const std::string& path, bool* created, std::string* why) {
  if (created) *created = false;
  for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    const std::string prefix = path.substr(0, end);
    const bool made = !prefix.empty() && ::mkdir(prefix.c_str(), 0700) == 0;
    if (!prefix.empty() && !made && errno != EEXIST) {
      if (why) *why = "cannot create " + prefix + ": " + std::strerror(errno);
      return false;
    }
    if (end == std::string::npos) {
      if (created) *created = made;
      return true;
    }
  }
}

bool SocketPathFits(const std::string& path) { return path.size() + 1 < kSocketPathCapacity; }

bool FolderFitsSockets(const std::string& folder) {
  return SocketPathFits(folder + '/' + std::string(kRuntimeEntryNameMax, 'x'));
}

bool IsPrivateFolder(const std::string& folder, std::string* why) {
  const auto refuse = [&](const std::string& reason) {
    if (why) *why = folder + ": " + reason;
    return false;
  };
  if (folder.empty() || folder[0] != '/') return refuse("not an absolute path");
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0) return refuse(std::strerror(errno));
  if (S_ISLNK(st.st_mode)) return refuse("a symbolic link");
  if (!S_ISDIR(st.st_mode)) return refuse("not a folder");
  if (st.st_uid != ::geteuid()) return refuse("owned by another user");
  if ((st.st_mode & 077) != 0) return refuse("open to other users (mode not 0700)");
  return true;
}

bool PeerIsThisUser(int fd) {
  ucred peer{};
  socklen_t length = sizeof peer;
  return fd >= 0 && ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 &&
         length == sizeof peer && peer.uid == ::geteuid();
}

RuntimeFolder ResolveRuntimeFolder(const RuntimeEnvironment& environment) {
  RuntimeFolder result;
  if (IsSet(environment.xdgRuntimeDir)) {
    const std::string runtime = environment.xdgRuntimeDir;
    std::string why;
    if (IsPrivateFolder(runtime, &why)) {
      if (FolderFitsSockets(runtime)) {
        result.path = runtime;
        result.socketsFit = true;
        return result;
      }
      why = runtime + ": too long for a socket address";
    }
    result.note = "XDG_RUNTIME_DIR " + why;
  }

  std::string cache;
  if (IsSet(environment.xdgCacheHome) && environment.xdgCacheHome[0] == '/') {
    cache = environment.xdgCacheHome;
  } else {
    const std::string home = HomeFolder(environment.home);
    if (home.empty()) {
      result.note += (result.note.empty() ? "" : "; ") + std::string("no home folder");
      return result;
    }
    cache = home + (home.back() == '/' ? "" : "/") + ".cache";
  }
  const std::string folder = cache + (cache.back() == '/' ? "" : "/") + kPrivateRuntimeFolderName;
  std::string why;
  if (!MakeFolders(folder, nullptr, &why) || !IsPrivateFolder(folder, &why)) {
    result.note += (result.note.empty() ? "" : "; ") + why;
    return result;
  }
  result.path = folder;
  result.socketsFit = FolderFitsSockets(folder);
  return result;
}

RuntimeFolder ResolveRuntimeFolder() {
  RuntimeEnvironment environment;
  environment.xdgRuntimeDir = std::getenv("XDG_RUNTIME_DIR");
  environment.xdgCacheHome = std::getenv("XDG_CACHE_HOME");
  environment.home = std::getenv("HOME");
  return ResolveRuntimeFolder(environment);
}

}  // namespace kst
