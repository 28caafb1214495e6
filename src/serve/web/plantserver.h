#pragma once

#include "plantsource.h"
#include "result.h"
#include "weboptions.h"

#include <QObject>
#include <QString>

#include <memory>

namespace vorn::serve {

// The plant view's web server: the pages, the API and one WebSocket per page
// over Qt's HTTP and WebSocket servers, read-only, within the limits of
// WebOptions. Every tick's message is handed to the pages that follow it; a
// page that falls behind is skipped until it has caught up and then gets a
// fresh whole view, so no client can hold up a tick or another client.
class PlantServer : public QObject {
    Q_OBJECT
public:
    PlantServer(PlantSource &source, WebOptions options, QObject *parent = nullptr);
    ~PlantServer() override;

    // Listens as the options say; a failure says why (the address in use, a
    // certificate or key that cannot be read).
    Result start();
    // Where the pages are: "http://127.0.0.1:8470/" (https with TLS).
    QString address() const;
    quint16 port() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace vorn::serve
