#pragma once
// A pane on Qt WebEngine. Navigate raises BeforeNavigate itself and then loads without
// asking again; every other top-level navigation (link, redirect, form, script, back
// and forward, reload) is put to BeforeNavigate by the page before it happens.
#include "shell/pane.h"

#include <QObject>

class QWebEngineView;
class QWebEnginePage;

class WebEnginePane : public QObject, public BrowserPane {
public:
    explicit WebEnginePane(QWidget* parent);
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

    QWebEngineView* view_;
    QWebEnginePage* page_;
    bool programLoadPending_ = false;
};

// How an address typed as text becomes the engine's address.
QUrl paneUrl(const QString& address);
