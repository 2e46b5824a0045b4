#pragma once

#include <QString>

namespace kst {

enum class MessageKind {
  Information,  // one OK button
  Question,     // Yes and No, No preselected
};

// The message boxes of the program, captioned with the application title. The
// windows implement it; the store and other non-window code only ask through
// it, so tests can record what would have been shown.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // Shows the text and waits for the user. Returns true only when a question
  // was answered Yes; an information box gives false.
  virtual bool Show(const QString& text, MessageKind kind) = 0;
};

}  // namespace kst
