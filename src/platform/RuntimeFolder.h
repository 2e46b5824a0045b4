#pragma once

// The user's runtime folder: the instance lock, the instance socket and the
// simulated keyboard's control socket live there. Standard library only, so
// that the simulated keyboard's service library and its tool use the same
// rule as the program.
//
// A folder is the user's alone when it is an absolute path naming a real
// folder (not a symbolic link), owned by the effective user, with no group or
// other permission bits. The runtime folder is the first of:
//   1. $XDG_RUNTIME_DIR, when it is the user's alone and short enough that
//      every socket of the folder fits a local socket address;
//   2. "kestrune-runtime" in the user's cache folder ($XDG_CACHE_HOME when
//      absolute, else ~/.cache), created with mode 0700 and checked after
//      creation like (1). When that path is too long for a socket address it
//      is used all the same: the instance lock works there and the sockets
//      are not made (their owners say so), rather than moving to a folder
//      other users can write.
// A shared folder (/tmp) is never used. No folder at all when the second is
// not the user's alone either (another owner, wider mode, a symbolic link).

#include <cstddef>
#include <string>

namespace kst {

// Longest name of a socket in the runtime folder.
inline constexpr std::size_t kRuntimeEntryNameMax = 32;

// Name of the private folder made in the user's cache folder.
inline constexpr const char* kPrivateRuntimeFolderName = "kestrune-runtime";

// Creates the missing folders of the absolute `path` with mode 0700; existing
// ones are left as they are. created (may be null): whether the last one was
// made by this call. False, with the reason in `why` (may be null), when a
// folder could not be made.
bool MakeFolders(const std::string& path, bool* created, std::string* why);

// True when `path` fits a local (AF_UNIX) socket address with its
// terminating zero and one byte to spare (Qt's local server wants it).
bool SocketPathFits(const std::string& path);

// True when every socket of up to kRuntimeEntryNameMax bytes in `folder`
// fits a local socket address.
bool FolderFitsSockets(const std::string& folder);

// True when `folder` is the user's alone (see above); otherwise false with
// the reason in `why`.
bool IsPrivateFolder(const std::string& folder, std::string* why);

// True when the peer of the connected local socket `fd` runs as this
// process's effective user (SO_PEERCRED); false when it cannot be told.
bool PeerIsThisUser(int fd);

// The environment the choice depends on; null or empty: unset.
struct RuntimeEnvironment {
  const char* xdgRuntimeDir = nullptr;
  const char* xdgCacheHome = nullptr;
  const char* home = nullptr;  // unset or relative: the password database's
};

struct RuntimeFolder {
  std::string path;  // empty: no private folder can be had
  bool socketsFit = false;
  std::string note;  // why $XDG_RUNTIME_DIR was passed over, or why there is no folder
};

// Chooses (and when needed creates) the runtime folder.
RuntimeFolder ResolveRuntimeFolder(const RuntimeEnvironment& environment);
// The same from this process's environment.
RuntimeFolder ResolveRuntimeFolder();

}  // namespace kst
