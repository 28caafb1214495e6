#pragma once

#include <QString>

#include <functional>

namespace vorn {

// Every message box of the program goes through ShowMessage, so that tests can
// answer the boxes and record what was asked without a screen.
enum class MessageButtons { Ok, YesNo };
enum class MessageIcon { None, Critical, Exclamation };
enum class MessageAnswer { Ok, Yes, No };

struct MessageRequest {
    QString text;
    QString title;
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;
};

using MessageHandler = std::function<MessageAnswer(const MessageRequest &)>;

// Shows a modal message box through the installed handler and returns the answer.
// Without a handler the box is written to standard error and answered Ok/No.
MessageAnswer ShowMessage(const MessageRequest &request);

// Convenience for the common OK box with the application's title.
void ShowMessage(const QString &text, MessageIcon icon = MessageIcon::None);

// Installs the handler (the main program installs one that uses QMessageBox);
// returns the previous one so that a test can restore it.
MessageHandler SetMessageHandler(MessageHandler handler);

// The application's title as message boxes use it ("Vorn Scheduler").
QString ApplicationTitle();

} // namespace vorn
