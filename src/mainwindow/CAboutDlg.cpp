#include "mainwindow/CAboutDlg.h"

#include "skin/AppStyle.h"

#include <QFont>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "foundation/Language.h"

namespace kst {

CAboutDlg::CAboutDlg(Language& language, QString linkAddress,
                     std::function<void(const QUrl&)> openUrl, QWidget* parent)
    : QDialog(parent),
      language_(language),
      linkAddress_(std::move(linkAddress)),
      openUrl_(std::move(openUrl)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
  UseAppStyleSheet(*this);
  // Escape ends the box through done() without a close event.
  connect(this, &QDialog::finished, this, &QObject::deleteLater);
  title_ = new QLabel(this);
  title_->setObjectName(QStringLiteral("ABOUT_TITLE"));
  QFont heading = title_->font();
  heading.setBold(true);
  heading.setPointSizeF(heading.pointSizeF() * 1.25);
  title_->setFont(heading);
  version_ = new QLabel(this);
  version_->setObjectName(QStringLiteral("1206"));
  copyright_ = new QLabel(this);
  copyright_->setObjectName(QStringLiteral("1205"));
  link_ = new QLabel(this);
  link_->setObjectName(QStringLiteral("1124"));
  link_->setTextFormat(Qt::RichText);
  link_->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  connect(link_, &QLabel::linkActivated, this, [this](const QString& link) {
    if (openUrl_) openUrl_(QUrl(link));
  });
  ok_ = new QPushButton(this);
  ok_->setObjectName(QStringLiteral("1"));
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &QDialog::close);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(18, 14, 18, 14);
  layout->setSpacing(8);
  layout->addWidget(title_);
  layout->addWidget(version_);
  layout->addWidget(copyright_);
  layout->addWidget(link_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  // OK has the focus first; Tab goes to the link and back.
  setTabOrder(ok_, link_);
  ok_->setFocus();
}

void CAboutDlg::OnInitDialog() {
  show();
  link_->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                     .arg(linkAddress_.toHtmlEscaped(), linkAddress_.toHtmlEscaped()));
  OnLanguage(kLanguageWParam, ClampLanguageIndex(language_.GetLanguageIndex()));
  version_->update();
  copyright_->update();
}

std::intptr_t CAboutDlg::OnLanguage(std::uintptr_t wParam, std::intptr_t lParam) {
  if (wParam != kLanguageWParam) return 0;
  const int index = static_cast<int>(lParam);
  const QString title = language_.LoadLangText(QStringLiteral("IDS_ABOUT_TITLE"), index);
  setWindowTitle(title);
  title_->setText(title);
  // The box is as wide as its title bar needs; the layout fixes its size.
  const QMargins margins = layout()->contentsMargins();
  title_->setMinimumWidth(TitleBarWidth(title, font()) - margins.left() - margins.right());
  version_->setText(language_.LoadLangText(QStringLiteral("IDS_ABOUT_VERSION"), index));
  copyright_->setText(language_.LoadLangText(QStringLiteral("IDS_ABOUT_COPYRIGHT"), index));
  ok_->setText(language_.LoadLangText(QStringLiteral("IDS_ABOUT_OK"), index));
  return 0;
}

int CAboutDlg::TitleBarWidth(const QString& title, const QFont& font) {
  QFont titleFont(font);
  titleFont.setBold(true);
  titleFont.setPointSizeF(font.pointSizeF() * 1.2);
  const QFontMetrics metrics(titleFont);
  // The icon and three buttons take about a square of twice the line height
  // each; one more for the padding at both ends.
  return metrics.horizontalAdvance(title) + 5 * 2 * metrics.height();
}

}  // namespace kst
