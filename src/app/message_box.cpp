#include "app/message_box.h"

#include <QMessageBox>

#include "app/texts.h"

namespace vostrel::gui {

MessageHandler& CurrentMessageHandler() {
  static MessageHandler handler = [](QWidget* parent, MessageKind kind, const QString& text) {
    if (kind == MessageKind::kInformation) {
      QMessageBox::information(parent, kAppCaption, text);
      return Answer::kOk;
    }
    QMessageBox box(kind == MessageKind::kQuestion ? QMessageBox::Question : QMessageBox::NoIcon,
                    kAppCaption, text, QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes ? Answer::kYes : Answer::kNo;
  };
  return handler;
}

}  // namespace vostrel::gui
