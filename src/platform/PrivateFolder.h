#pragma once

// The user's own folders (per-user data, settings): the files in them hold
// the user's macros, which may be typed passwords, so no other local user
// may list or read them.

#include <QString>
#include <QStringList>

namespace kst {

// Makes `folder`, and each missing folder above it, with mode 0700. An
// existing folder that this user owns and that others may enter is
// tightened to 0700; one owned by someone else is used as it is.
// 1: created now, 0: it existed, -1: it could not be made (or something
// other than a folder stands there).
int MakePrivateFolder(const QString& folder);

// Removes what interrupted atomic writes (WriteFileAtomically) left in
// `folder`: a regular file owned by this user whose name is one of
// `fileNames` (wildcards * and ? allowed) followed by '.' and six letters or
// digits, the name of the write's temporary file. Call it only while no
// write of this program to the folder can run (a single instance at start).
// Gives the number of files removed.
int ClearAtomicWriteLeftovers(const QString& folder, const QStringList& fileNames);

}  // namespace kst
