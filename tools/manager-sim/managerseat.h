#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

// Where the simulated manager holds the Manager Server document that a
// hosted window feeds, and how its notices reach the window. One line per
// call the window makes goes to `say`.
class ManagerSeat {
public:
    using Say = std::function<void(const QString &line)>;
    virtual ~ManagerSeat() = default;
    // Takes the document; false (said why) when another manager has it or
    // there is no way to it: the simulator then runs without.
    virtual bool take() = 0;
    // The text notice ("STOP", "START"), sent without waiting for the window.
    virtual void notify(const QByteArray &text) = 0;
};

// Implemented once per platform, chosen by the build: the session bus, or
// the COM stand-in (vorn-com-manager) and window messages.
std::unique_ptr<ManagerSeat> MakeManagerSeat(ManagerSeat::Say say);

// The lines the simulator says for the document's two calls.
QString CreateViewLine(const QString &name, const QString &caption, short kind);
QString SetViewXmlDataLine(const QString &viewName, const QString &xml);
