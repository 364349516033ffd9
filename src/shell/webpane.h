#pragma once
// A pane on Qt WebEngine. Navigate raises BeforeNavigate itself and then loads; every
// other top-level navigation (link, redirect, form, script, back and forward, reload,
// a drop) is put to BeforeNavigate by the page before it happens. Addresses are raised
// in the form the engine fetches.
#include "shell/pane.h"

#include <QObject>
#include <QUrl>

class QWebEngineView;
class RequestGate;
class QWebEnginePage;

class WebEnginePane : public QObject, public BrowserPane {
public:
    // The gate of the panes' profile, when there is one, also decides frame redirects.
    explicit WebEnginePane(QWidget* parent, const RequestGate* gate = nullptr);
    ~WebEnginePane() override;

    QWidget* widget() override;
    void Navigate(const QString& url) override;
    void GoBack() override;
    void GoForward() override;
    void Refresh() override;
    void Stop() override;

    QWebEngineView* view() const { return view_; }

    // Called by the page for each navigation request; true lets it go on.
    bool acceptNavigation(const QUrl& url, int type, bool isMainFrame);

private:
    void load(const QUrl& url);
    void closeSideDoors();

    QWebEngineView* view_;
    QWebEnginePage* page_;
    const RequestGate* gate_;
    QUrl loading_;  // the address of this pane's own last load, until the engine reports it
};
