#include "messagebox.h"

#include <QCoreApplication>

#include <cstdio>

namespace vorn {

namespace {
MessageHandler &handlerSlot()
{
    static MessageHandler handler;
    return handler;
}
} // namespace

MessageAnswer ShowMessage(const MessageRequest &request)
{
    if (const MessageHandler &handler = handlerSlot())
        return handler(request);
    std::fprintf(stderr, "%s: %s\n", qPrintable(request.title), qPrintable(request.text));
    return request.buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
}

void ShowMessage(const QString &text, MessageIcon icon)
{
    ShowMessage(MessageRequest{text, ApplicationTitle(), MessageButtons::Ok, icon});
}

MessageHandler SetMessageHandler(MessageHandler handler)
{
    MessageHandler previous = std::move(handlerSlot());
    handlerSlot() = std::move(handler);
    return previous;
}

QString ApplicationTitle()
{
    // Message boxes carry the application's title, which stays the English
    // product name whatever the interface language.
    return QStringLiteral("Vorn Scheduler");
}

} // namespace vorn
