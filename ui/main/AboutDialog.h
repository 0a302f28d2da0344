#pragma once
// The About box: product, version, maker, and two links (web and support
// e-mail).

#include <QDialog>

namespace sundrel::ui {

class HyperlinkStatic;

inline constexpr const char* kProductWebAddress = "https://orvane.com/sundrel";
inline constexpr const char* kSupportEmailAddress = "support@orvane.com";

class AboutDialog : public QDialog {
  Q_OBJECT

public:
  explicit AboutDialog(QWidget* parent = nullptr);

  HyperlinkStatic* webLink() const { return web; }
  HyperlinkStatic* emailLink() const { return email; }

private:
  HyperlinkStatic* web = nullptr;
  HyperlinkStatic* email = nullptr;
};

} // namespace sundrel::ui
