// Every message the application shows goes through one place, so that tests
// can answer them.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

namespace vostrel::gui {

enum class Answer { kOk, kYes, kNo };
enum class MessageKind { kInformation, kQuestion, kQuestionNoIcon };

using MessageHandler = std::function<Answer(QWidget* parent, MessageKind, const QString&)>;

// The handler in use (QMessageBox by default); tests install their own.
MessageHandler& CurrentMessageHandler();
inline void Inform(QWidget* parent, const QString& text) {
  CurrentMessageHandler()(parent, MessageKind::kInformation, text);
}
inline bool AskYesNo(QWidget* parent, const QString& text, MessageKind kind = MessageKind::kQuestion) {
  return CurrentMessageHandler()(parent, kind, text) == Answer::kYes;
}

}  // namespace vostrel::gui
