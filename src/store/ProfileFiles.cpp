#include "store/ProfileFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <new>
#include <utility>
#include <vector>

#include "foundation/Language.h"
#include "foundation/SkinLayout.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/PrivateFolder.h"
#include "platform/RegularFile.h"
#include "store/LittleEndian.h"
#include "store/MessageBoxes.h"
#include "store/ProfileFolderSeeder.h"

namespace kst {

namespace {

constexpr std::uint64_t kMaxFileSize = std::uint64_t{1} << 32;  // 4 GiB, exclusive

ProfileImageStatus CheckHeader(ConstBlockSpan block, ProfileFileHeader& header) {
  const auto bytes = block.first<kFileHeaderSize>();
  header = DecodeFileHeader(bytes);
  const bool valid = header.magic == kProfileMagic && header.headerSize == kFileHeaderSize &&
                     header.version == kProfileVersion && header.format == kProfileFormat &&
                     header.fileSize >= kProfileBlockSize && header.entryCount == kEntryCount &&
                     header.macroCount <= kMaxMacroCount && header.flag < 2 &&
                     header.fileSize == ExpectedFileSize(header.macroCount, header.textBytes) &&
                     header.checksum == HeaderChecksum(bytes);
  return valid ? ProfileImageStatus::Valid : ProfileImageStatus::BadHeader;
}

// Checks the macro records and the texts of a file whose header is valid and
// whose parts are complete; with `texts` set, fills the text table too.
ProfileImageStatus CheckBody(ConstBlockSpan block, std::span<const std::uint8_t> macros,
                             int macroCount, std::span<const std::uint8_t> area,
                             std::vector<TextSlotEntry>* texts) {
  for (int i = 0; i < macroCount; ++i) {
    const auto record =
        macros.subspan(static_cast<std::size_t>(i) * kMacroRecordSize).first<kMacroRecordSize>();
    if (MacroEventCountOf(record) > kMaxMacroEvents) return ProfileImageStatus::BadMacro;
  }

  // The texts in offset order, so that one forward sweep over the area finds
  // every terminator however many entries share or nest their texts.
  std::vector<std::pair<std::uint32_t, int>> starts;
  for (int i = 0; i < kEntryCount; ++i) {
    const std::size_t at = EntryOffset(i);
    if (!KindCarriesText(le::U16(block, at + kEntryKindOffset))) continue;
    const std::uint32_t offset = le::U32(block, at + kEntryParamOffset) & ~std::uint32_t{1};
    if (offset >= area.size()) return ProfileImageStatus::BadText;
    starts.emplace_back(offset, i);
  }
  std::sort(starts.begin(), starts.end());

  constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
  std::size_t terminator = kNone;
  std::uint64_t needed = 0;
  for (const auto& [offset, index] : starts) {
    if (terminator == kNone || terminator < offset) {
      terminator = kNone;
      for (std::size_t at = offset; at + 2 <= area.size(); at += 2) {
        if (le::U16(area, at) == 0) {
          terminator = at;
          break;
        }
      }
      if (terminator == kNone) return ProfileImageStatus::BadText;
    }
    const std::size_t characters = (terminator - offset) / 2;
    const std::uint64_t size = 2 * static_cast<std::uint64_t>(characters) + 2;
    // Texts written by a save never overlap, so together they fit the area;
    // more than that would only multiply one long text into many copies.
    needed += size;
    if (needed > area.size()) return ProfileImageStatus::BadText;
    if (texts != nullptr) {
      TextSlotEntry& slot = (*texts)[static_cast<std::size_t>(index)];
      slot.text.resize(characters);
      for (std::size_t c = 0; c < characters; ++c) {
        slot.text[c] = static_cast<char16_t>(le::U16(area, offset + 2 * c));
      }
      slot.size = static_cast<std::uint32_t>(size);
    }
  }
  return ProfileImageStatus::Valid;
}

// The result of reading a profile file from disk.
struct FileRead {
  int result = 0;  // 1 valid; 0 absent, too small or invalid; -2; -3
  ProfileImageStatus status = ProfileImageStatus::TooSmall;
  std::optional<StoreContent> content;  // only when asked for and valid
};

bool ReadExactly(QFile& file, std::uint8_t* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const qint64 chunk = std::min<std::size_t>(size - done, std::size_t{1} << 30);
    const qint64 got = file.read(reinterpret_cast<char*>(data + done), chunk);
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

FileRead ReadProfileFile(const QString& path, bool decode) {
  FileRead read;
  QFile file;
  const FileRefusal refusal = OpenRegularFile(path, file);
  if (refusal == FileRefusal::Missing) return read;
  if (refusal != FileRefusal::None) {
    read.result = -2;
    return read;
  }
  const std::uint64_t size = static_cast<std::uint64_t>(std::max<qint64>(file.size(), 0));
  if (size < kProfileBlockSize || size >= kMaxFileSize) return read;

  try {
    StoreContent content;
    content.block = std::make_unique<ProfileBlock>();
    if (!ReadExactly(file, content.block->data(), kProfileBlockSize)) {
      read.result = -2;
      return read;
    }
    ProfileFileHeader header;
    read.status = CheckHeader(*content.block, header);
    if (read.status != ProfileImageStatus::Valid) return read;
    read.status = ProfileImageStatus::Truncated;
    if (size < header.fileSize) return read;

    content.macroCount = header.macroCount;
    content.macros.resize(header.macroCount * kMacroRecordSize);
    std::vector<std::uint8_t> area(header.textBytes);
    if (!ReadExactly(file, content.macros.data(), content.macros.size()) ||
        !ReadExactly(file, area.data(), area.size())) {
      return read;  // the file shrank while it was read
    }
    if (decode) content.texts.resize(static_cast<std::size_t>(kEntryCount));
    read.status = CheckBody(*content.block, content.macros, content.macroCount, area,
                            decode ? &content.texts : nullptr);
    if (read.status != ProfileImageStatus::Valid) return read;
    read.result = 1;
    if (decode) read.content = std::move(content);
  } catch (const std::bad_alloc&) {
    read.result = -3;
    read.content.reset();
  }
  return read;
}

// Splits a complete in-memory image into its parts; Valid when the header is
// valid and every part is present.
ProfileImageStatus SplitImage(std::span<const std::uint8_t> image, ProfileFileHeader& header,
                              std::span<const std::uint8_t>& macros,
                              std::span<const std::uint8_t>& area) {
  if (image.size() < kProfileBlockSize || image.size() >= kMaxFileSize) {
    return ProfileImageStatus::TooSmall;
  }
  const ConstBlockSpan block = image.first<kProfileBlockSize>();
  if (CheckHeader(block, header) != ProfileImageStatus::Valid) {
    return ProfileImageStatus::BadHeader;
  }
  if (image.size() < header.fileSize) return ProfileImageStatus::Truncated;
  macros = image.subspan(kProfileBlockSize, header.macroCount * kMacroRecordSize);
  area = image.subspan(kProfileBlockSize + macros.size(), header.textBytes);
  return ProfileImageStatus::Valid;
}

// The format's first "%s" becomes the argument and "%%" a single '%'; any
// other '%' stays as it is, so a text file cannot ask for more arguments.
QString FormatWithPath(const QString& format, const QString& argument) {
  QString out;
  bool used = false;
  for (qsizetype i = 0; i < format.size(); ++i) {
    if (format[i] == u'%' && i + 1 < format.size()) {
      if (format[i + 1] == u'%') {
        out += u'%';
        ++i;
        continue;
      }
      if (format[i + 1] == u's' && !used) {
        out += argument;
        used = true;
        ++i;
        continue;
      }
    }
    out += format[i];
  }
  return out;
}

}  // namespace

ProfileImageStatus CheckProfileImage(std::span<const std::uint8_t> image) {
  ProfileFileHeader header;
  std::span<const std::uint8_t> macros;
  std::span<const std::uint8_t> area;
  const ProfileImageStatus status = SplitImage(image, header, macros, area);
  if (status != ProfileImageStatus::Valid) return status;
  return CheckBody(image.first<kProfileBlockSize>(), macros, header.macroCount, area, nullptr);
}

std::optional<StoreContent> DecodeProfileImage(std::span<const std::uint8_t> image) {
  ProfileFileHeader header;
  std::span<const std::uint8_t> macros;
  std::span<const std::uint8_t> area;
  if (SplitImage(image, header, macros, area) != ProfileImageStatus::Valid) return std::nullopt;
  try {
    StoreContent content;
    content.block = std::make_unique<ProfileBlock>();
    std::copy_n(image.begin(), kProfileBlockSize, content.block->begin());
    content.macros.assign(macros.begin(), macros.end());
    content.macroCount = header.macroCount;
    content.texts.resize(static_cast<std::size_t>(kEntryCount));
    if (CheckBody(*content.block, content.macros, content.macroCount, area, &content.texts) !=
        ProfileImageStatus::Valid) {
      return std::nullopt;
    }
    return content;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

bool WriteProfileImage(const QString& path, std::span<const std::uint8_t> image, QString* why) {
  if (WriteFileAtomically(path, image)) return true;
  if (why == nullptr) return false;
  // The write does not say why it failed; the usual causes are looked for
  // one by one, then the last error of the write stands.
  int code = errno;
  const QFileInfo info(path);
  const QByteArray folder = QFile::encodeName(info.absolutePath());
  struct statvfs space {};
  if (info.isDir()) {
    code = EISDIR;
  } else if (!QFileInfo(info.absolutePath()).isDir()) {
    code = ENOENT;
  } else if (access(folder.constData(), W_OK | X_OK) != 0) {
    code = errno;
  } else if (statvfs(folder.constData(), &space) == 0 &&
             static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize < image.size()) {
    code = ENOSPC;
  } else if (code == 0) {
    code = EIO;
  }
  *why = QDir::toNativeSeparators(path) + QStringLiteral(": ") + qt_error_string(code);
  return false;
}

QString WorkingProfileFileName() {
  return QString::fromLatin1(kWorkingProfileNameFormat).replace(QLatin1String("%d"), "0");
}

ProfileFiles::ProfileFiles(AssignmentStore& store, const AppPaths& paths, Language& language,
                           MessageBoxes& messageBoxes)
    : store_(store),
      folder_(QDir::cleanPath(paths.dataFolder)),
      language_(language),
      messageBoxes_(messageBoxes) {
  // Copies of a save killed before its rename hold a whole configuration
  // each; made at start (a single instance), no write of ours can be running.
  ClearAtomicWriteLeftovers(folder_, {WorkingProfileFileName(), QString::fromLatin1(kWskbFileName),
                                      QString::fromLatin1(kModeFilePrefix) + QLatin1Char('*') +
                                          QString::fromLatin1(kModeFileSuffix)});
}

void ProfileFiles::SetFolderSeeder(ProfileFolderSeeder* seeder) { seeder_ = seeder; }

QString ProfileFiles::ProfileFolderPath() {
  if (MakePrivateFolder(folder_) == 1 && seeder_ != nullptr) {
    seeder_->SeedProfileFolder(folder_);
  }
  return folder_;
}

QString ProfileFiles::WorkingProfilePath() {
  return ProfileFolderPath() + QLatin1Char('/') + WorkingProfileFileName();
}

int ProfileFiles::CheckProfileFile(const QString& path) {
  const FileRead read = ReadProfileFile(path, false);
  if (read.result == 0 && read.status != ProfileImageStatus::TooSmall) {
    messageBoxes_.Show(FormatWithPath(language_.SlotText(TextSlot::ProfileFormatError),
                                      QDir::toNativeSeparators(path)),
                       MessageKind::Information);
  }
  return read.result;
}

int ProfileFiles::LoadProfileFile(const QString& path) {
  std::lock_guard guard(store_.Lock());
  FileRead read = ReadProfileFile(path, true);
  if (read.result == 1 && read.content && store_.Install(std::move(*read.content))) return 1;
  store_.InstallDefault();
  return 0;
}

PreparedSave::PreparedSave(QString path, std::vector<std::uint8_t> image)
    : path_(std::move(path)), image_(std::move(image)) {}

int PreparedSave::Write(QString* why) const {
  return WriteProfileImage(path_, image_, why) ? 1 : 0;
}

std::optional<PreparedSave> ProfileFiles::PrepareSave(const QString& path) {
  std::lock_guard guard(store_.Lock());
  try {
    const std::vector<std::uint8_t> area = store_.PrepareForWrite();
    const auto block = std::span<const std::uint8_t>(store_.Block());
    const auto macros = store_.MacroArray();
    std::vector<std::uint8_t> image;
    image.reserve(block.size() + macros.size() + area.size());
    image.insert(image.end(), block.begin(), block.end());
    image.insert(image.end(), macros.begin(), macros.end());
    image.insert(image.end(), area.begin(), area.end());
    return PreparedSave(path, std::move(image));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

int ProfileFiles::SaveWorkingProfile() {
  std::lock_guard guard(store_.Lock());
  const auto save = PrepareWorkingProfileSave();
  return save ? save->Write() : 0;
}

std::optional<PreparedSave> ProfileFiles::PrepareWorkingProfileSave() {
  std::lock_guard guard(store_.Lock());
  const QString path = WorkingProfilePath();
  if (!QFileInfo::exists(path)) return std::nullopt;
  return PrepareSave(path);
}

bool ProfileFiles::ExportProfileFile(const QString& path) {
  std::lock_guard guard(store_.Lock());
  const auto save = PrepareSave(path);
  return save && save->Write() == 1;
}

int ProfileFiles::WriteWorkingImage(const QString& path, std::span<const std::uint8_t> image,
                                    QString& why) {
  QString reason;
  const bool written = WriteProfileImage(path, image, &reason);
  why = NoteWorkingFileWrite(written, reason);
  return written ? 1 : 0;
}

QString ProfileFiles::NoteWorkingFileWrite(bool written, const QString& why) {
  if (written) {
    writeFailureTold_.store(false);
    return QString();
  }
  return writeFailureTold_.exchange(true) ? QString() : why;
}

int ProfileFiles::WriteDefaultProfileFile(const QString& path, QString* why) {
  const auto block = MakeDefaultProfileBlock(0);
  return WriteProfileImage(path, std::span<const std::uint8_t>(*block), why) ? 1 : 0;
}

int ProfileFiles::ImportProfileFile(const QString& path, const std::function<void()>& whileLocked) {
  // Checked without CheckProfileFile's message: that one says the defaults
  // were restored, while a refused import keeps the store as it is.
  if (ReadProfileFile(path, false).result == 1) {
    std::lock_guard guard(store_.Lock());
    // Read again in full: the store is replaced only by a complete content.
    FileRead read = ReadProfileFile(path, true);
    if (read.result == 1 && read.content && store_.Install(std::move(*read.content))) {
      SaveWorkingProfile();
      if (whileLocked) whileLocked();
      return 1;
    }
  }
  // Shown with the store unlocked: the box may wait for the window's thread.
  messageBoxes_.Show(language_.ShowSlot(TextSlot::MainPromptInport, language_.GetLanguageIndex()) +
                         QStringLiteral("\n\n") + QDir::toNativeSeparators(path),
                     MessageKind::Information);
  return 0;
}

QString ProfileFileFilter(Language& language) {
  const int index = language.GetLanguageIndex();
  return language.LoadLangText(QString::fromLatin1(kProfileFilterTextKey), index) +
         QStringLiteral(" (*.") + QLatin1String(kExchangeFileExtension) + QStringLiteral(");;") +
         language.LoadLangText(QString::fromLatin1(kAllFilesFilterTextKey), index) +
         QStringLiteral(" (*)");
}

}  // namespace kst
