// Every message the application shows goes through one place, so that tests
// can answer them.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

namespace vostrel::gui {

enum class Answer { kOk, kYes, kNo };
enum class MessageIcon { kInformation, kQuestion, kWarning, kNone };
enum class Buttons { kOk, kYesNo };

// A handler answers as the box would: an OK box only ever with kOk.
using MessageHandler = std::function<Answer(QWidget* parent, MessageIcon, Buttons, const QString&)>;

// The handler in use (QMessageBox by default); tests install their own.
MessageHandler& CurrentMessageHandler();
inline void Inform(QWidget* parent, const QString& text) {
  CurrentMessageHandler()(parent, MessageIcon::kInformation, Buttons::kOk, text);
}
// Something went wrong: the same OK box with a warning sign.
inline void Warn(QWidget* parent, const QString& text) {
  CurrentMessageHandler()(parent, MessageIcon::kWarning, Buttons::kOk, text);
}
inline bool AskYesNo(QWidget* parent, const QString& text,
                     MessageIcon icon = MessageIcon::kQuestion) {
  return CurrentMessageHandler()(parent, icon, Buttons::kYesNo, text) == Answer::kYes;
}

}  // namespace vostrel::gui
