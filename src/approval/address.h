#pragma once
// Addresses at the edge: what the engine reports goes to the decisions as text, and they
// put it in the form the engine fetches (engineform.h), so that the panes, new windows,
// drops, the request gate, the proxy and wenlow-check decide alike.
#include <QString>
#include <QUrl>

// How an address written as text (a start address, a tool's argument) becomes the
// engine's address. A text without a scheme is a web address; a local path may carry a
// "#fragment".
QUrl paneUrl(const QString& address);

// An address the engine reported, as decisions take it: empty when Qt could not read it
// (the engine reports a host that Qt cannot hold as an invalid address), and an empty
// address is refused.
QString engineAddress(const QUrl& url);
QByteArray engineBytes(const QUrl& url);  // the same, as the bytes that approval reads
