#include "app/message_box.h"

#include <QMessageBox>

#include "app/texts.h"

namespace vostrel::gui {

MessageHandler& CurrentMessageHandler() {
  static MessageHandler handler = [](QWidget* parent, MessageIcon icon, Buttons buttons,
                                     const QString& text) {
    const QMessageBox::Icon shown = icon == MessageIcon::kInformation ? QMessageBox::Information
                                    : icon == MessageIcon::kQuestion  ? QMessageBox::Question
                                    : icon == MessageIcon::kWarning   ? QMessageBox::Warning
                                                                      : QMessageBox::NoIcon;
    const bool yes_no = buttons == Buttons::kYesNo;
    QMessageBox box(shown, kAppCaption, text,
                    yes_no ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);  // names and paths are never markup
    const int answer = box.exec();
    if (!yes_no) return Answer::kOk;
    return answer == QMessageBox::Yes ? Answer::kYes : Answer::kNo;
  };
  return handler;
}

}  // namespace vostrel::gui
