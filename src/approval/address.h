#pragma once
// Addresses at the edge: every address meets approval in the form the engine fetches,
// so that the panes, new windows, drops and wenlow-check decide alike.
#include <QString>
#include <QUrl>

#include <string>

// How an address written as text (a start address, a tool's argument) becomes the
// engine's address. A local path may carry a "#fragment".
QUrl paneUrl(const QString& address);

// ASCII with "xn--" hosts and percent-encoded paths, without user info; an IPv4 address
// written as an IPv6 literal in its IPv4 form, as that is the host it reaches.
QString engineAddress(const QUrl& url);
QByteArray engineBytes(const QUrl& url);  // the same, as the bytes that approval reads

// The engine form of an address given as text, as wenlow-check and the panes see it;
// a text that is no address at all stays as it is.
std::string engineAddress(const std::string& text);
