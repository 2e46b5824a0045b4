#include "editors/MacroWorkingCopies.h"

#include <algorithm>
#include <limits>
#include <new>
#include <utility>

#include "foundation/Language.h"
#include "store/AssignmentStore.h"
#include "store/MediaKeys.h"
#include "store/MessageBoxes.h"

namespace kst {

std::optional<DecimalField> ParseDecimalField(const QString& text) {
  constexpr std::uint64_t kSaturated = std::uint64_t{1} << 32;
  DecimalField field;
  qsizetype i = 0;
  if (!text.isEmpty() && (text[0] == u'-' || text[0] == u'+')) {
    field.negative = text[0] == u'-';
    i = 1;
  }
  if (i >= text.size()) return std::nullopt;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (c < u'0' || c > u'9') return std::nullopt;
    field.magnitude = std::min(kSaturated, field.magnitude * 10 + (c - u'0'));
  }
  return field;
}

MacroWorkingCopies::MacroWorkingCopies(Context context, QObject* parent)
    : QObject(parent), context_(std::move(context)), model_(*this, context_.language, this) {}

MacroWorkingCopies::~MacroWorkingCopies() = default;

QString MacroWorkingCopies::Text(const char* key) const {
  return context_.language.LoadLangText(QString::fromLatin1(key));
}

void MacroWorkingCopies::MarkModified() {
  if (context_.markModified) context_.markModified();
}

// ---- The macro list --------------------------------------------------------

void MacroWorkingCopies::Load() {
  Free();
  std::vector<MacroRecord> stored;
  {
    std::lock_guard lock(context_.store.Lock());
    stored = context_.store.CopyMacros();
  }
  copies_.reserve(stored.size());
  for (MacroRecord& record : stored) {
    record.fresh = 0;
    copies_.push_back(std::make_unique<MacroRecord>(std::move(record)));
  }
  emit listChanged();
}

void MacroWorkingCopies::Free() {
  // Nothing held (freed at the last close): the list and the page already say so.
  if (copies_.empty() && current_ < 0 && selectedRow_ < 0 && model_.Rows().empty()) return;
  model_.Reset({});
  ChangeSelection(-1);
  copies_.clear();
  current_ = -1;
  emit listChanged();
}

const MacroRecord* MacroWorkingCopies::CopyAt(int position) const {
  if (position < 0 || position >= Count()) return nullptr;
  return copies_[static_cast<std::size_t>(position)].get();
}

QString MacroWorkingCopies::NameAt(int position) const {
  const MacroRecord* copy = CopyAt(position);
  if (copy == nullptr) return {};
  const std::u16string_view name = copy->Name();
  return QString::fromUtf16(name.data(), static_cast<qsizetype>(name.size()));
}

int MacroWorkingCopies::PositionOfNumber(std::uint16_t number) const {
  for (int i = 0; i < Count(); ++i) {
    if (copies_[static_cast<std::size_t>(i)]->number == number) return i;
  }
  return -1;
}

void MacroWorkingCopies::SavePage() {
  if (current_ < 0 || current_ >= Count()) return;
  MacroRecord& copy = *copies_[static_cast<std::size_t>(current_)];
  const std::vector<MacroEvent>& rows = model_.Rows();
  copy.repeatCount = static_cast<std::uint8_t>(std::clamp(cycles_, kMinCycles, kMaxCycles));
  copy.eventCount = static_cast<std::uint16_t>(rows.size());
  std::copy(rows.begin(), rows.end(), copy.events.begin());
  std::fill(copy.events.begin() + static_cast<std::ptrdiff_t>(rows.size()), copy.events.end(),
            MacroEvent{});
}

void MacroWorkingCopies::Select(int position) {
  SavePage();
  current_ = position >= 0 && position < Count() ? position : -1;
  emit listChanged();
  ShowCurrent();
}

void MacroWorkingCopies::ShowCurrent() {
  const MacroRecord* copy = CopyAt(current_);
  if (copy == nullptr) {
    model_.Reset({});
    ChangeSelection(-1);
    return;
  }
  cycles_ = std::clamp<int>(copy->repeatCount, kMinCycles, kMaxCycles);
  model_.Reset(copy->Events());
  ChangeSelection(-1);
  emit cyclesShown(copy->repeatCount);
}

QString MacroWorkingCopies::StepGeneratedName() {
  ++nameCounter_;
  return Text("IDS_MACRO_NEW_PREFIX") + QString::number(nameCounter_);
}

bool MacroWorkingCopies::EntryBeginsWith(const QString& text, int skip) const {
  for (int i = 0; i < Count(); ++i) {
    if (i != skip && NameAt(i).startsWith(text, Qt::CaseInsensitive)) return true;
  }
  return false;
}

std::vector<std::uint16_t> MacroWorkingCopies::NumbersInUse() const {
  std::vector<std::uint16_t> numbers;
  numbers.reserve(copies_.size());
  for (const auto& copy : copies_) numbers.push_back(copy->number);
  return numbers;
}

bool MacroWorkingCopies::InsertNew(const QString& name, int position) {
  const std::vector<std::uint16_t> numbers = NumbersInUse();
  try {
    std::optional<MacroRecord> record = NewMacroRecord(name.toStdU16String(), numbers);
    if (!record) return false;
    copies_.insert(copies_.begin() + position, std::make_unique<MacroRecord>(*record));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool MacroWorkingCopies::Add() {
  if (Count() >= kMaxWorkingCopies) {
    context_.boxes.Show(FormatKeyCode(Text("IDS_MACRO_ERR_MAX"), kMaxWorkingCopies),
                        MessageKind::Information);
    return false;
  }
  if (Count() == 0) nameCounter_ = 0;
  // Each name of the list blocks at most one counter value per digit it could
  // hold after the prefix, so the search ends within 100 x 249 steps.
  QString name = StepGeneratedName();
  while (EntryBeginsWith(name)) name = StepGeneratedName();
  SavePage();
  if (!InsertNew(name, Count())) return false;
  current_ = Count() - 1;
  emit listChanged();
  ShowCurrent();
  MarkModified();
  return true;
}

bool MacroWorkingCopies::DeleteCurrent() {
  const MacroRecord* copy = CopyAt(current_);
  if (copy == nullptr) return false;
  if (copy->fresh != 1) {
    bool inUse = false;
    {
      std::lock_guard lock(context_.store.Lock());
      inUse = context_.store.IsMacroInUse(copy->number);
    }
    if (inUse &&
        !context_.boxes.Show(Text("IDS_KEY_MACRO_DELETE_CONFIRM_OF_KEYS"), MessageKind::Question)) {
      return false;
    }
  }
  copies_.erase(copies_.begin() + current_);
  // The one before takes its place; an emptied list has none current.
  current_ = copies_.empty() ? -1 : std::max(current_ - 1, 0);
  emit listChanged();
  ShowCurrent();
  MarkModified();
  return true;
}

void MacroWorkingCopies::Rename(const QString& typed) {
  QString text = typed.left(kMaxTypedNameLength);
  if (copies_.empty()) {
    if (text.isEmpty()) text = StepGeneratedName();
    if (!InsertNew(text, 0)) return;
    current_ = 0;
    emit listChanged();
    ShowCurrent();
    MarkModified();
    return;
  }
  // Typing while no macro is on show names nothing.
  if (CopyAt(current_) == nullptr) return;
  // The edited entry itself never counts: it is the one being renamed.
  if (!text.isEmpty() && EntryBeginsWith(text, current_)) text = StepGeneratedName();
  if (text.isEmpty()) {
    text = StepGeneratedName();
    if (EntryBeginsWith(text, current_)) {
      // The edited copy keeps its entry and name; a new macro takes over.
      Add();
      return;
    }
  }
  copies_[static_cast<std::size_t>(current_)]->SetName(text.toStdU16String());
  emit listChanged();
  MarkModified();
}

// ---- The fields ------------------------------------------------------------

QString MacroWorkingCopies::EditCycles(const QString& text) {
  const std::optional<DecimalField> field = ParseDecimalField(text.trimmed());
  QString shown = text;
  if (!field || field->negative || field->magnitude < kMinCycles) {
    cycles_ = kMinCycles;
    shown = QString::number(kMinCycles);
  } else if (field->magnitude > kMaxCycles) {
    cycles_ = kMaxCycles;
    shown = QString::number(kMaxCycles);
  } else {
    cycles_ = static_cast<int>(field->magnitude);
  }
  MarkModified();
  return shown;
}

// ---- The action list -------------------------------------------------------

void MacroWorkingCopies::ChangeSelection(int row) {
  selectedRow_ = row;
  emit selectedRowChanged(row);
}

void MacroWorkingCopies::SetSelectedRow(int row) {
  selectedRow_ = row >= 0 && row < model_.rowCount() ? row : -1;
}

bool MacroWorkingCopies::InsertAction(const MacroEvent& event, InsertOptions options) {
  const int rows = model_.rowCount();
  if (rows >= kMaxMacroEvents) return false;
  MacroEvent row = event;
  if (row.direction >= 2) row.direction = kEventPress;
  const int position =
      options.afterSelection && selectedRow_ >= 0 && selectedRow_ < rows ? selectedRow_ + 1 : rows;
  if (!options.raw) {
    // A row's delay is the wait until the next row: the row before the new
    // one now waits the new delay, and the new row the wait it replaced.
    if (position > 0) {
      const std::uint32_t former = model_.Rows()[static_cast<std::size_t>(position - 1)].delayMs;
      model_.SetDelay(position - 1, row.delayMs);
      row.delayMs = former;
    } else {
      row.delayMs = 0;
    }
  }
  model_.InsertRow(position, row);
  if (options.select) ChangeSelection(position);
  if (options.markModified) MarkModified();
  return true;
}

bool MacroWorkingCopies::DeleteAction() {
  const int rows = model_.rowCount();
  if (selectedRow_ < 0 || selectedRow_ >= rows) return false;
  const int removed = selectedRow_;
  model_.RemoveRow(removed);
  ChangeSelection(removed < rows - 1 ? removed : rows - 2);
  MarkModified();
  return true;
}

bool MacroWorkingCopies::ClearActions() {
  if (model_.rowCount() == 0) return false;
  if (!context_.boxes.Show(Text("IDS_MACRO_ACTION_CLEAR_CONFIRM"), MessageKind::Question)) {
    return false;
  }
  model_.Reset({});
  ChangeSelection(-1);
  MarkModified();
  return true;
}

bool MacroWorkingCopies::MoveAction(Move move) {
  const int rows = model_.rowCount();
  if (selectedRow_ < 0 || selectedRow_ >= rows) return false;
  int target = selectedRow_;
  switch (move) {
    case Move::Top:
      target = 0;
      break;
    case Move::Up:
      target = selectedRow_ - 1;
      break;
    case Move::Down:
      target = selectedRow_ + 1;
      break;
    case Move::Bottom:
      target = rows - 1;
      break;
  }
  target = std::clamp(target, 0, rows - 1);
  model_.MoveRow(selectedRow_, target);
  ChangeSelection(target);
  MarkModified();
  return true;
}

bool MacroWorkingCopies::EditDelay(int row, const QString& text) {
  if (row < 0 || row >= model_.rowCount()) return false;
  const std::optional<DecimalField> field = ParseDecimalField(text.trimmed());
  if (!field) return false;
  // Compared without sign: a negative number is as far above the limit as
  // its two's complement.
  std::uint64_t value = field->negative && field->magnitude != 0
                            ? std::numeric_limits<std::uint64_t>::max()
                            : field->magnitude;
  if (value > kMaxMacroDelayMs) {
    context_.boxes.Show(FormatKeyCode(Text("IDS_MACRO_ACTION_ERR_DELAY_MAX"), kMaxMacroDelayMs),
                        MessageKind::Information);
    value = kMaxMacroDelayMs;
  }
  value -= value % kDelayStepMs;
  model_.SetDelay(row, static_cast<std::uint32_t>(value));
  MarkModified();
  return true;
}

bool MacroWorkingCopies::EditKey(int row, std::uint16_t keyId) {
  if (row < 0 || row >= model_.rowCount() || keyId >= kPickerKeyCount) return false;
  if (keyId == KeyIdFromKeyIndex(model_.Rows()[static_cast<std::size_t>(row)].key)) return false;
  model_.SetKey(row, KeyIndexFromKeyId(keyId));
  MarkModified();
  return true;
}

bool MacroWorkingCopies::EditDirection(int row, std::uint16_t direction) {
  if (row < 0 || row >= model_.rowCount() || direction > kEventRelease) return false;
  if (direction == model_.Rows()[static_cast<std::size_t>(row)].direction) return false;
  model_.SetDirection(row, direction);
  MarkModified();
  return true;
}

// ---- Recording -------------------------------------------------------------

void MacroWorkingCopies::BeginRecording(std::int64_t nowMs) {
  recording_ = true;
  lastEventMs_ = nowMs;
  lastWindowsVk_ = 0;
}

void MacroWorkingCopies::EndRecording() {
  recording_ = false;
  lastWindowsVk_ = 0;
}

void MacroWorkingCopies::RecordAction(std::int64_t measuredMs, KeyIndex key,
                                      std::uint16_t direction) {
  const std::uint32_t delay = recordDelay_ == 1
                                  ? static_cast<std::uint32_t>(std::clamp<std::int64_t>(
                                        measuredMs, 0, std::numeric_limits<std::uint32_t>::max()))
                                  : kFixedRecordDelayMs;
  InsertAction(MacroEvent{delay, key, direction},
               InsertOptions{.select = true, .markModified = true, .afterSelection = true});
}

void MacroWorkingCopies::RecordKey(KeyIndex key, bool release, std::int64_t timeMs) {
  if (IsReleaseOnlyKey(key)) RecordAction(kReleaseOnlyPressDelayMs, key, kEventPress);
  RecordAction(timeMs - lastEventMs_, key, release ? kEventRelease : kEventPress);
  lastEventMs_ = timeMs;
}

KeyboardHook::Verdict MacroWorkingCopies::OnThreadHook(const KeyboardHook::Event& event) {
  if (!recording_ || event.key == 0 || IsCaptureExcluded(event.key)) {
    return KeyboardHook::Verdict::Pass;
  }
  if (!event.message.AutoRepeat()) RecordKey(event.key, event.message.Release(), event.timeMs);
  return KeyboardHook::Verdict::Swallow;
}

KeyboardHook::Verdict MacroWorkingCopies::OnLowLevelHook(const KeyboardHook::Event& event) {
  const std::uint32_t vk = event.message.vk;
  if (!recording_ || (vk != kVkLeftWindows && vk != kVkRightWindows)) {
    return KeyboardHook::Verdict::Pass;
  }
  const bool release = event.message.Release();
  if (!release) {
    // The desktop repeats a held key's press; only the first one counts.
    if (vk == lastWindowsVk_) return KeyboardHook::Verdict::Swallow;
    lastWindowsVk_ = vk;
  } else {
    lastWindowsVk_ = 0;
  }
  RecordKey(vk == kVkLeftWindows ? kLeftWindowsKey : kRightWindowsKey, release, event.timeMs);
  return KeyboardHook::Verdict::Swallow;
}

// ---- Commit ----------------------------------------------------------------

bool MacroWorkingCopies::Commit() {
  std::vector<MacroRecord> records;
  try {
    records.reserve(copies_.size());
  } catch (const std::bad_alloc&) {
    return false;
  }
  SavePage();
  for (const auto& copy : copies_) records.push_back(*copy);
  if (!context_.store.ReplaceMacroList(records)) return false;
  for (auto& copy : copies_) copy->fresh = 0;
  return true;
}

}  // namespace kst
