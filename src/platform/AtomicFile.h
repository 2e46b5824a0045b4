#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <span>

namespace kst {

// Replaces the file at `path` with `bytes` as one step: written beside it,
// flushed to disk and renamed over it. true on success; on failure the old
// file (if any) is left whole and nothing else is left behind. The file is
// readable and writable by its owner only (0600), whatever it was before:
// what is written holds the user's settings and macros.
bool WriteFileAtomically(const QString& path, std::span<const char> bytes);
bool WriteFileAtomically(const QString& path, std::span<const std::uint8_t> bytes);
bool WriteFileAtomically(const QString& path, const QByteArray& bytes);

}  // namespace kst
