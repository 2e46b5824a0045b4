#pragma once

// The macro page's state and rules without its widgets: the working copies of
// the stored macros (one per entry of the macro list, in list order), the
// macro on show with its action rows, the cycle count, the record-delay state
// and the recorder. Nothing reaches the store until Commit. The page's
// widgets follow the signals; tests drive the rules directly.
// User-interface thread only.

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "editors/KeyboardHook.h"
#include "editors/MacroActionModel.h"
#include "store/MacroRecord.h"

namespace kst {

class AssignmentStore;
class Language;
class MessageBoxes;

inline constexpr int kMaxWorkingCopies = kMaxMacroNumber;
// Cycle counts the field accepts.
inline constexpr int kMinCycles = 1;
inline constexpr int kMaxCycles = 255;
// The delay of a recorded action when real delays are not recorded.
inline constexpr std::uint32_t kFixedRecordDelayMs = 50;
// The delay before the release of a key whose press no hook sees.
inline constexpr std::uint32_t kReleaseOnlyPressDelayMs = 2;
// Hand-edited delays are kept in whole steps of this many milliseconds.
inline constexpr std::uint32_t kDelayStepMs = 10;
// Keys of the action list's key picker: KeyId 0 to 74.
inline constexpr std::uint16_t kPickerKeyCount = 75;
// Longest name text the name field hands over.
inline constexpr int kMaxTypedNameLength = 259;
// Virtual keys of the two Windows keys and their KeyIndex.
inline constexpr std::uint32_t kVkLeftWindows = 0x5B;
inline constexpr std::uint32_t kVkRightWindows = 0x5C;
inline constexpr KeyIndex kLeftWindowsKey = 0x15B;
inline constexpr KeyIndex kRightWindowsKey = 0x15C;

// A field's text read as a decimal number: an optional sign, then digits
// only. The magnitude saturates at 2^32 (beyond anything a field takes), so
// a long run of digits never wraps. nullopt for the empty text and for
// anything that is not such a number.
struct DecimalField {
  bool negative = false;
  std::uint64_t magnitude = 0;
};
std::optional<DecimalField> ParseDecimalField(const QString& text);

class MacroWorkingCopies : public QObject {
  Q_OBJECT

 public:
  struct Context {
    AssignmentStore& store;
    Language& language;
    MessageBoxes& boxes;
    // Marks the dialog modified (enables its Apply).
    std::function<void()> markModified;
  };

  struct InsertOptions {
    bool select = false;          // the new row becomes the selected row
    bool markModified = false;    // the dialog is marked modified
    bool afterSelection = false;  // directly after the selected row, else at the end
    bool raw = false;             // the row keeps the event's delay (no shifting)
  };

  enum class Move { Top, Up, Down, Bottom };

  explicit MacroWorkingCopies(Context context, QObject* parent = nullptr);
  ~MacroWorkingCopies() override;

  MacroActionModel& Actions() { return model_; }
  const MacroActionModel& Actions() const { return model_; }

  // ---- The macro list ----
  // The stored macros as working copies (fresh flag 0), in store order;
  // none current, no rows.
  void Load();
  // Empties the action list and frees the copies.
  void Free();
  int Count() const { return static_cast<int>(copies_.size()); }
  // Position of the macro on show; -1 for none.
  int Current() const { return current_; }
  // The copy at the position; null outside the list.
  const MacroRecord* CopyAt(int position) const;
  QString NameAt(int position) const;
  // Position of the copy carrying the number; -1 when none does.
  int PositionOfNumber(std::uint16_t number) const;
  int NameCounter() const { return nameCounter_; }

  // Saves the rows and the cycle count into the current copy (nothing when
  // none is current).
  void SavePage();
  // The page's copy is saved, position (-1 for none) becomes current and is
  // shown.
  void Select(int position);
  // The current copy's rows and cycle count on show; no rows when none.
  void ShowCurrent();
  // A new macro with the next free generated name at the end of the list,
  // current and shown; marks modified. At 100 macros: the limit message and
  // false.
  bool Add();
  // Deletes the current copy after the confirmation rule; the one before it
  // (or the first) becomes current. False when nothing was deleted.
  bool DeleteCurrent();
  // A change of the name field's text. Nothing when macros exist but none is
  // current; with an empty list it makes the first macro.
  void Rename(const QString& typed);

  // ---- The fields ----
  int Cycles() const { return cycles_; }
  // Takes the cycles field's text and marks modified; returns the text the
  // field must show (the text itself when it is a cycle count, else "1" or
  // "255").
  QString EditCycles(const QString& text);
  // 1: recorded actions keep their measured delays; 0: a fixed delay.
  int RecordDelay() const { return recordDelay_; }
  void SetRecordDelay(int value) { recordDelay_ = value == 1 ? 1 : 0; }

  // ---- The action list ----
  // False when the list holds 2000 rows (the event is dropped).
  bool InsertAction(const MacroEvent& event, InsertOptions options);
  // -1 for none.
  int SelectedRow() const { return selectedRow_; }
  // The view's selection; no signal.
  void SetSelectedRow(int row);
  bool DeleteAction();
  // Asks first; false when nothing was removed.
  bool ClearActions();
  bool MoveAction(Move move);
  // The in-place edits of one cell. False when nothing changed.
  bool EditDelay(int row, const QString& text);
  bool EditKey(int row, std::uint16_t keyId);
  bool EditDirection(int row, std::uint16_t direction);

  // ---- Recording ----
  void BeginRecording(std::int64_t nowMs);
  void EndRecording();
  bool Recording() const { return recording_; }
  // Records a key event at timeMs (the hook's clock).
  void RecordKey(KeyIndex key, bool release, std::int64_t timeMs);
  // The two hook handlers while recording.
  KeyboardHook::Verdict OnThreadHook(const KeyboardHook::Event& event);
  KeyboardHook::Verdict OnLowLevelHook(const KeyboardHook::Event& event);

  // Saves the page and installs the copies in the store; their fresh flags
  // are cleared. False, with the store untouched, when it could not be done.
  bool Commit();

 signals:
  // The rules moved the selected row (-1 for none).
  void selectedRowChanged(int row);
  // Entries, names or the current position changed.
  void listChanged();
  // A macro was shown: the cycles field shows this count.
  void cyclesShown(int cycles);

 private:
  QString Text(const char* key) const;
  void MarkModified();
  // The generated name after the counter's next step.
  QString StepGeneratedName();
  // Whether an entry other than `skip` begins with text, as a combo box's
  // case-insensitive string search finds it.
  bool EntryBeginsWith(const QString& text, int skip = -1) const;
  std::vector<std::uint16_t> NumbersInUse() const;
  // Inserts a new copy; false when no number is free or memory is short.
  bool InsertNew(const QString& name, int position);
  void RecordAction(std::int64_t measuredMs, KeyIndex key, std::uint16_t direction);
  void ChangeSelection(int row);

  Context context_;
  MacroActionModel model_;
  std::vector<std::unique_ptr<MacroRecord>> copies_;
  int current_ = -1;
  int nameCounter_ = 0;
  int cycles_ = kMinCycles;
  int recordDelay_ = 0;
  int selectedRow_ = -1;
  bool recording_ = false;
  std::int64_t lastEventMs_ = 0;
  std::uint32_t lastWindowsVk_ = 0;  // 0: none held
};

}  // namespace kst
