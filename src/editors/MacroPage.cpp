#include "editors/MacroPage.h"

#include <QWidget>

#include <utility>

namespace kst {

struct MacroPage::Impl {
  explicit Impl(Context c) : context(std::move(c)) {}
  Context context;
};

MacroPage::MacroPage(QWidget& dialog, Context context)
    : QObject(&dialog), impl_(std::make_unique<Impl>(std::move(context))) {}

MacroPage::~MacroPage() = default;

void MacroPage::Layout(const QString&, const EditorPictureSet&) {}
void MacroPage::SetShown(bool) {}
void MacroPage::SetCaptions(int) {}
void MacroPage::LoadWorkingCopies() {}
void MacroPage::ReadRecordDelay() {}
void MacroPage::SelectByNumber(std::uint16_t) {}
void MacroPage::ShowCurrentMacro() {}
bool MacroPage::Recording() const { return false; }
void MacroPage::StopRecording() {}
void MacroPage::CommitInPlaceEdit() {}
bool MacroPage::Commit() { return true; }
void MacroPage::FreeWorkingCopies() {}
int MacroPage::MacroCount() const { return 0; }
int MacroPage::CurrentPosition() const { return -1; }
int MacroPage::Cycles() const { return 1; }
QWidget* MacroPage::Control(int) const { return nullptr; }

}  // namespace kst
