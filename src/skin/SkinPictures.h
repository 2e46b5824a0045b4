#pragma once

#include <QHash>
#include <QPixmap>
#include <QSize>
#include <QString>

#include <optional>

namespace kst {

// Decodes a skin picture (JPEG, PNG, BMP, GIF); nullopt when the file cannot
// be opened, read or decoded.
std::optional<QPixmap> DecodeSkinPicture(const QString& path);

// A picture a window cannot do without is missing: one line naming the file
// on stderr, then the process ends at once with exit code 0.
[[noreturn]] void EndProcessForMissingPicture(const QString& path);

// The pictures of one window: each file is decoded once, however many
// buttons show it; the pixmaps handed out share the decoded image. Owned by
// the window, released with it.
class SkinPictures {
 public:
  // Surfaces are at least this much wider and higher than the window's
  // client area, so a button reaching past the picture reads defined pixels.
  static constexpr int kSurfaceMargin = 100;

  explicit SkinPictures(QString folder = {});

  void SetFolder(QString folder);  // with or without a trailing separator
  QString Folder() const { return folder_; }
  QString PathOf(const QString& fileName) const;

  // The picture, decoded on first use; nullopt when it cannot be loaded.
  std::optional<QPixmap> Get(const QString& fileName);
  // The picture drawn at its own size on a surface of at least
  // clientSize + kSurfaceMargin (black beyond the picture); ends the process
  // through EndProcessForMissingPicture when it cannot be loaded.
  QPixmap Surface(const QString& fileName, QSize clientSize);
  // Like Get, but ends the process when the picture cannot be loaded.
  QPixmap Required(const QString& fileName);

  int DecodeCount() const { return decodes_; }
  void Clear();

 private:
  QString folder_;
  QHash<QString, QPixmap> pictures_;
  QHash<QString, QPixmap> surfaces_;
  int decodes_ = 0;
};

}  // namespace kst
