#include "mainwindow/KeyboardView.h"

#include <QKeyEvent>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

#include "foundation/BoardKeys.h"
#include "foundation/Language.h"
#include "foundation/SkinLayout.h"
#include "mainwindow/KeyCaptions.h"
#include "mainwindow/MainWindowIds.h"
#include "skin/CPngButton.h"
#include "skin/SkinKeys.h"
#include "skin/SkinLayoutOps.h"
#include "store/AssignmentStore.h"

namespace kst {

namespace {

const QString kButtonInfo = QString::fromLatin1(kButtonInfoSection);
const QString kButtonInfo2 = QString::fromLatin1(kButtonInfo2Section);

// G8 and G9 are never offered on the keyboard view.
constexpr int kFirstDisabledGKey = 7;

int GKeyNumberOfControl(int controlId) {
  for (int n = 0; n < 9; ++n)
    if (kGKeyIds[n] == controlId) return n;
  return -1;
}

bool IsExtraKey(int controlId) {
  return controlId >= kFirstExtraKeyId && controlId < kFirstExtraKeyId + kExtraKeyCount;
}

// Indicators show pictures only: the mouse passes through to the window.
void MakeStatic(CPngButton& button) {
  button.setAttribute(Qt::WA_TransparentForMouseEvents);
  button.setFocusPolicy(Qt::NoFocus);
}

// The key picture's tab stop: a widget the mouse passes through, laid over
// the current key, that draws only the focus outline while it has the focus.
class KeyFocusStop final : public QWidget {
 public:
  using KeyHandler = std::function<bool(int key, bool pressed, bool autoRepeat)>;
  KeyFocusStop(QWidget& window, KeyHandler onKey, std::function<void()> onFocus)
      : QWidget(&window), onKey_(std::move(onKey)), onFocus_(std::move(onFocus)) {
    setObjectName(QStringLiteral("KeyboardPicture"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::TabFocus);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (!hasFocus()) return;
    QPainter painter(this);
    DrawFocusOutline(painter, rect());
  }
  void focusInEvent(QFocusEvent* event) override {
    if (onFocus_) onFocus_();
    QWidget::focusInEvent(event);
  }
  void keyPressEvent(QKeyEvent* event) override {
    if (!onKey_(event->key(), true, event->isAutoRepeat())) QWidget::keyPressEvent(event);
  }
  void keyReleaseEvent(QKeyEvent* event) override {
    if (!onKey_(event->key(), false, event->isAutoRepeat())) QWidget::keyReleaseEvent(event);
  }

 private:
  KeyHandler onKey_;
  std::function<void()> onFocus_;
};

}  // namespace

KeyboardView::KeyboardView(QWidget& window, AssignmentStore& store, Language& language,
                           AppProfile& appProfile, Sources sources)
    : QObject(&window),
      window_(window),
      store_(store),
      language_(language),
      appProfile_(appProfile),
      sources_(std::move(sources)) {}

KeyboardView::~KeyboardView() = default;

int KeyboardView::Profile() const {
  return sources_.currentProfile ? sources_.currentProfile() : -1;
}
GKeyBank KeyboardView::Bank() const { return sources_.bank ? sources_.bank() : GKeyBank::A; }
int KeyboardView::LanguageIndex() const {
  return sources_.languageIndex ? sources_.languageIndex() : 0;
}

CPngButton* KeyboardView::MakeButton(int controlId, const QString& skinKey) {
  auto* button = new CPngButton(&window_);
  button->setObjectName(skinKey);
  button->setProperty("controlId", controlId);
  buttons_.insert(controlId, button);
  return button;
}

const QPixmap& KeyboardView::DisabledLook() const {
  return pictures_.grey.isNull() ? pictures_.normal : pictures_.grey;
}

void KeyboardView::SetUsualLooks(CPngButton& button) {
  button.SetStatePictures(pictures_.normal, pictures_.over, pictures_.down, DisabledLook(),
                          pictures_.disable);
}

void KeyboardView::LayoutKeyButtons(const QString& skinFile, const KeyboardPictures& pictures) {
  pictures_ = pictures;
  skinFile_ = skinFile;
  auto layoutKey = [&](int controlId, const QString& skinKey) {
    CPngButton* button = MakeButton(controlId, skinKey);
    const SkinRect rect =
        LayoutImageButton(*button, skinFile, kButtonInfo, skinKey, pictures.normal, pictures.over,
                          pictures.down, DisabledLook(), pictures.disable);
    button->setProperty("skinHidden", rect.MarksHidden());
    button->setFocusPolicy(Qt::NoFocus);
    connect(button, &CPngButton::clicked, this, [this, controlId] { KeyClicked(controlId); });
    keyButtons_.push_back(button);
    return button;
  };
  for (int n = 0; n < 9; ++n) {
    CPngButton* button = layoutKey(kGKeyIds[n], QStringLiteral("FUNC_G%1").arg(n + 1));
    if (n >= kFirstDisabledGKey) button->setEnabled(false);
  }
  for (const BoardKey& key : BoardKeyList()) layoutKey(key.controlId, BoardKeySkinKey(key.skinKey));
  layoutKey(kIdFn, QStringLiteral("KEY_FN"));
  const QStringList extra = ExtraKeySkinKeys();
  for (int i = 0; i < kExtraKeyCount && i < extra.size(); ++i) {
    CPngButton* button = layoutKey(kFirstExtraKeyId + i, extra[i]);
    button->setEnabled(false);
    button->setVisible(false);
  }

  delete focusStop_;
  focusStop_ = new KeyFocusStop(
      window_,
      [this](int key, bool pressed, bool autoRepeat) {
        const bool handled = key == Qt::Key_Space || key == Qt::Key_Left || key == Qt::Key_Right ||
                             key == Qt::Key_Up || key == Qt::Key_Down;
        if (handled) FocusStopKey(key, pressed, autoRepeat);
        return handled;
      },
      [this] { FollowCurrentKey(); });
  currentKey_ = -1;
  FollowCurrentKey();
}

bool KeyboardView::Reachable(int controlId) const {
  const CPngButton* button = Button(controlId);
  return button && !button->isHidden() && button->isEnabled() &&
         !button->property("skinHidden").toBool() &&
         std::find(keyButtons_.begin(), keyButtons_.end(), button) != keyButtons_.end();
}

bool KeyboardView::SetCurrentKey(int controlId) {
  if (!Reachable(controlId)) return false;
  currentKey_ = controlId;
  spaceDown_ = false;
  if (focusStop_) {
    focusStop_->setGeometry(Button(controlId)->geometry());
    focusStop_->raise();
    focusStop_->show();
    focusStop_->update();
  }
  return true;
}

void KeyboardView::FollowCurrentKey() {
  if (Reachable(currentKey_)) {
    SetCurrentKey(currentKey_);
    return;
  }
  // The nearest reachable key to where the stop stood; the first one at the start.
  const CPngButton* gone = Button(currentKey_);
  const QPointF from = gone ? QRectF(gone->geometry()).center() : QPointF();
  int best = -1;
  double bestDistance = std::numeric_limits<double>::max();
  for (const CPngButton* button : keyButtons_) {
    const int id = button->property("controlId").toInt();
    if (!Reachable(id)) continue;
    if (!gone) {
      best = id;
      break;
    }
    const QPointF d = QRectF(button->geometry()).center() - from;
    const double distance = std::hypot(d.x(), d.y());
    if (distance < bestDistance) {
      bestDistance = distance;
      best = id;
    }
  }
  if (best >= 0) {
    SetCurrentKey(best);
  } else if (focusStop_) {
    currentKey_ = -1;
    focusStop_->hide();
  }
}

int KeyboardView::NeighbourKey(int controlId, Direction direction) const {
  const CPngButton* from = Button(controlId);
  if (!from) return -1;
  const QPointF origin = QRectF(from->geometry()).center();
  int best = -1;
  double bestScore = std::numeric_limits<double>::max();
  for (const CPngButton* button : keyButtons_) {
    const int id = button->property("controlId").toInt();
    if (id == controlId || !Reachable(id)) continue;
    const QPointF d = QRectF(button->geometry()).center() - origin;
    double along = 0;
    double across = 0;
    switch (direction) {
      case Direction::Left:
        along = -d.x(), across = d.y();
        break;
      case Direction::Right:
        along = d.x(), across = d.y();
        break;
      case Direction::Up:
        along = -d.y(), across = d.x();
        break;
      case Direction::Down:
        along = d.y(), across = d.x();
        break;
    }
    // Half a pixel: keys of one row may sit a rounding apart.
    if (along < 0.5) continue;
    const double score = along * along + 4 * across * across;
    if (score < bestScore) {
      bestScore = score;
      best = id;
    }
  }
  return best;
}

void KeyboardView::FocusStopKey(int key, bool pressed, bool autoRepeat) {
  if (key == Qt::Key_Space) {
    // A click acts on release, as a button's Space does: the editor it opens
    // never sees the release.
    if (pressed) {
      if (!autoRepeat) spaceDown_ = true;
    } else if (!autoRepeat && spaceDown_) {
      spaceDown_ = false;
      FollowCurrentKey();
      if (currentKey_ >= 0) KeyClicked(currentKey_);
    }
    return;
  }
  if (!pressed) return;
  FollowCurrentKey();
  const Direction direction = key == Qt::Key_Left    ? Direction::Left
                              : key == Qt::Key_Right ? Direction::Right
                              : key == Qt::Key_Up    ? Direction::Up
                                                     : Direction::Down;
  if (const int next = NeighbourKey(currentKey_, direction); next >= 0) SetCurrentKey(next);
}

void KeyboardView::LayoutIndicators(const QString& skinFile, const KeyboardPictures& pictures) {
  pictures_ = pictures;
  skinFile_ = skinFile;
  const struct {
    int id;
    const char* key;
  } locks[] = {{kIdLockCaps, "LOCK_CAPS"},
               {kIdLockNum, "LOCK_NUM"},
               {kIdLockScroll, "LOCK_SCROLL"},
               {kIdLockBank, "LOCK_AB"}};
  for (const auto& lock : locks) {
    CPngButton* button = MakeButton(lock.id, QString::fromLatin1(lock.key));
    LayoutImageButton(*button, skinFile, kButtonInfo, QString::fromLatin1(lock.key),
                      pictures.normal, pictures.normal, pictures.normal, pictures.normal,
                      pictures.normal);
    MakeStatic(*button);
  }
  ShowBankIndicator(Bank());

  const struct {
    int id;
    const char* key;
  } flips[] = {{kIdFlip0, "FLIP_0"}, {kIdFlip1, "FLIP_1"}, {kIdFlip2, "FLIP_2"}};
  for (const auto& flip : flips) {
    CPngButton* button = MakeButton(flip.id, QString::fromLatin1(flip.key));
    LayoutImageButton(*button, skinFile, kButtonInfo, QString::fromLatin1(flip.key),
                      pictures.normal, pictures.over, pictures.down, pictures.normal,
                      pictures.disable);
    button->setFocusPolicy(Qt::NoFocus);
    if (flip.id == kIdFlip0) {
      MakeStatic(*button);
    } else {
      connect(button, &CPngButton::clicked, this, [this] { FlipClicked(); });
    }
  }
  for (const auto& arrow :
       {std::pair{kIdLeftArrow, "LEFT_ARROW"}, std::pair{kIdRightArrow, "RIGHT_ARROW"}}) {
    CPngButton* button = MakeButton(arrow.first, QString::fromLatin1(arrow.second));
    MakeStatic(*button);
  }
  ApplyFlip();
}

void KeyboardView::ShowBankIndicator(GKeyBank bank) {
  shownBank_ = bank;
  CPngButton* indicator = Button(kIdLockBank);
  if (indicator) {
    const QPixmap& lit = bank == GKeyBank::B ? pictures_.over : pictures_.normal;
    const QPixmap& other = bank == GKeyBank::B ? pictures_.normal : pictures_.over;
    indicator->SetStatePictures(lit, lit, lit, lit, other);
  }
  const QChar letter = bank == GKeyBank::B ? QLatin1Char('B') : QLatin1Char('A');
  for (int n = 0; n < 9; ++n) {
    if (CPngButton* key = Button(kGKeyIds[n]))
      key->setText(n < 5 ? QStringLiteral("%1%2").arg(letter).arg(n + 1) : QString());
  }
}

void KeyboardView::MarkButton(CPngButton* button, const QString& name, const KeyAssignment& entry,
                              int languageIndex) {
  const KeyButtonCaption caption =
      MakeKeyButtonCaption(name, entry, store_, language_, languageIndex);
  button->SetSelected(caption.assigned, true);
  button->SetTooltip(caption.caption, true);
}

void KeyboardView::MarkGKeys(int profile, GKeyBank bank, int languageIndex) {
  for (int n = 0; n < 9; ++n) {
    if (CPngButton* button = Button(kGKeyIds[n]))
      MarkButton(button, GKeyName(n), store_.GetAssignment(profile, GKeySlot(bank, n)),
                 languageIndex);
  }
}

void KeyboardView::RefreshKeyButtons() {
  const int profile = Profile();
  const GKeyBank bank = Bank();
  const int languageIndex = LanguageIndex();
  {
    std::lock_guard lock(store_.Lock());
    MarkGKeys(profile, bank, languageIndex);
    for (const BoardKey& key : BoardKeyList()) {
      CPngButton* button = Button(key.controlId);
      if (!button) continue;
      MarkButton(button, KeyNameFromKeyIndex(key.key, language_),
                 store_.GetAssignment(profile, SlotFromKeyIndex(key.key)), languageIndex);
    }
  }
  ShowBankIndicator(bank);
  ApplyFlip();
}

void KeyboardView::RefreshKeyButton(int profile, AssignmentSlot slot) {
  if (profile != Profile()) return;
  const GKeyBank bank = Bank();
  const int languageIndex = LanguageIndex();
  std::lock_guard lock(store_.Lock());
  const KeyAssignment entry = store_.GetAssignment(profile, slot);
  for (int n = 0; n < 9; ++n) {
    if (GKeySlot(bank, n) != slot) continue;
    if (CPngButton* button = Button(kGKeyIds[n]))
      MarkButton(button, GKeyName(n), entry, languageIndex);
  }
  for (const BoardKey& key : BoardKeyList()) {
    if (SlotFromKeyIndex(key.key) != slot) continue;
    if (CPngButton* button = Button(key.controlId))
      MarkButton(button, KeyNameFromKeyIndex(key.key, language_), entry, languageIndex);
  }
}

void KeyboardView::RefreshGKeyBank() {
  const int profile = Profile();
  const GKeyBank bank = Bank();
  const int languageIndex = LanguageIndex();
  {
    std::lock_guard lock(store_.Lock());
    MarkGKeys(profile, bank, languageIndex);
  }
  ShowBankIndicator(bank);
}

void KeyboardView::ClearKeyColours() {
  for (CPngButton* button : keyButtons_) {
    const int id = button->property("controlId").toInt();
    if (IsExtraKey(id)) continue;  // D1-D6 have no light of their own
    button->SetColourFrame(0, 0, false);
    button->SetSelected(false, true);
  }
}

void KeyboardView::ShowLockLights(std::optional<LockLights> lights) {
  const std::pair<int, bool> locks[] = {{kIdLockNum, lights && lights->num},
                                        {kIdLockCaps, lights && lights->caps},
                                        {kIdLockScroll, lights && lights->scroll}};
  for (const auto& [id, lit] : locks) {
    CPngButton* button = Button(id);
    if (!button) continue;
    const QPixmap& look = lit ? pictures_.over : pictures_.normal;
    button->SetStatePictures(look, look, look, look, look);
  }
}

void KeyboardView::ShowLocks(bool lockT, bool lockTilde) {
  lockT_ = lockT;
  lockTilde_ = lockTilde;
  if (CPngButton* t = Button(kIdTKey)) t->SetSelected(lockT, true);
  if (CPngButton* grave = Button(kIdGraveKey)) grave->SetSelected(lockTilde, true);
}

void KeyboardView::ApplyFlip() {
  flip_ = appProfile_.GetFlip();
  auto shownBySkin = [](CPngButton* button) {
    return button && !button->property("skinHidden").toBool();
  };
  for (int id : kFunctionKeyIds) {
    CPngButton* key = Button(id);
    if (shownBySkin(key)) key->setEnabled(flip_ == 0);
  }
  if (flip_ == 1 && !flipPicturesAsked_) {
    flipPicturesAsked_ = true;
    if (sources_.flipPictures) flipPictures_ = sources_.flipPictures();
  }
  const bool flipLooks = !flipPictures_.normal.isNull();
  for (int i = 0; i < kExtraKeyCount; ++i) {
    CPngButton* key = Button(kFirstExtraKeyId + i);
    if (!shownBySkin(key)) continue;
    // Each extra key shows the part of the Flip pictures that draws it.
    if (flip_ == 1 && flipLooks &&
        key->Picture(CPngButton::Look::Normal).cacheKey() != flipPictures_.normal.cacheKey())
      key->SetStatePictures(flipPictures_.normal, flipPictures_.over, flipPictures_.down,
                            flipPictures_.normal, flipPictures_.normal, false);
    key->setEnabled(flip_ == 1);
    key->setVisible(flip_ == 1);
    if (flip_ == 1) key->raise();
  }
  if (focusStop_) FollowCurrentKey();
  if (CPngButton* indicator = Button(kIdFlip0)) {
    indicator->SetStatePictures(pictures_.normal, pictures_.normal, pictures_.normal,
                                pictures_.normal, pictures_.disable);
    indicator->SetSelected(flip_ == 1, true);
  }
  const struct {
    int id;
    const char* key;
    const char* up;
    const char* down;
  } arrows[] = {{kIdLeftArrow, "LEFT_ARROW", "UP_ARROW_LEFT1", "DOWN_ARROW_LEFT1"},
                {kIdRightArrow, "RIGHT_ARROW", "UP_ARROW_RIGHT1", "DOWN_ARROW_RIGHT1"}};
  for (const auto& arrow : arrows) {
    CPngButton* button = Button(arrow.id);
    if (!button) continue;
    const SkinRect rect = LayoutVariantButton(
        *button, skinFile_, kButtonInfo, QString::fromLatin1(arrow.key), kButtonInfo2,
        QString::fromLatin1(flip_ == 1 ? arrow.up : arrow.down), pictures_.arrow);
    button->setVisible(!rect.MarksHidden());
    button->update();
  }
}

void KeyboardView::FlipClicked() {
  appProfile_.SetFlip(appProfile_.GetFlip() == 0 ? 1 : 0);
  ApplyFlip();
}

void KeyboardView::ShowEditing(int controlId, bool editing) {
  CPngButton* button = Button(controlId);
  if (!button) return;
  if (editing) {
    button->SetStatePictures(pictures_.over, pictures_.over, pictures_.down, pictures_.normal,
                             pictures_.over);
  } else {
    SetUsualLooks(*button);
  }
}

void KeyboardView::KeyClicked(int controlId) {
  if (hooks_.lightingEditMode && hooks_.lightingEditMode()) {
    // D1-D6 have no light to paint.
    if (!IsExtraKey(controlId) && hooks_.paintKey) hooks_.paintKey(controlId);
    return;
  }
  if (controlId == kIdFn || IsExtraKey(controlId)) return;
  if ((controlId == kIdGraveKey && lockTilde_) || (controlId == kIdTKey && lockT_)) return;

  AssignmentSlot slot = 0;
  bool macroOnly = false;
  if (const int n = GKeyNumberOfControl(controlId); n >= 0) {
    slot = GKeySlot(Bank(), n);
    macroOnly = controlId == kGKeyIds[8];
  } else if (const int position = BoardPositionOfControl(static_cast<std::uint16_t>(controlId));
             position >= 0) {
    slot = SlotFromKeyIndex(BoardKeyList()[static_cast<std::size_t>(position)].key);
  } else {
    return;
  }
  if (hooks_.openKeyAssignment) hooks_.openKeyAssignment(slot, macroOnly, controlId);
}

}  // namespace kst
