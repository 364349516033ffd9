#include "shell/webpane.h"

#include "platform/errors.h"

#include <QFileInfo>
#include <QWebEngineHistory>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace {

class Page : public QWebEnginePage {
public:
    Page(QWebEngineProfile* profile, WebEnginePane* pane, QObject* parent)
        : QWebEnginePage(profile, parent), pane_(pane) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        return pane_->acceptNavigation(url, type, isMainFrame);
    }

private:
    WebEnginePane* pane_;
};

}  // namespace

QUrl paneUrl(const QString& address) {
    if (address.isEmpty()) return QUrl("about:blank");
    if (address.startsWith('/')) return QUrl::fromLocalFile(address);
    return QUrl::fromUserInput(address);
}

WebEnginePane::WebEnginePane(QWidget* parent) : view_(new QWebEngineView(parent)) {
    // Both panes share the default profile, as one browser control's panes would.
    page_ = new Page(QWebEngineProfile::defaultProfile(), this, view_);
    view_->setPage(page_);
    // Scripts may ask for windows: the request then meets the program's own rules
    // (NewWindow) instead of being dropped unseen.
    page_->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);

    QObject::connect(page_, &QWebEnginePage::loadStarted, this, [this] { raiseProgressChange(0, 100); });
    QObject::connect(page_, &QWebEnginePage::loadProgress, this, [this](int p) { raiseProgressChange(p, 100); });
    QObject::connect(page_, &QWebEnginePage::loadFinished, this, [this](bool) {
        raiseNavigateComplete(page_->url().toString());
        raiseProgressChange(-1, 100);
    });
    QObject::connect(page_, &QWebEnginePage::titleChanged, this, [this](const QString& t) { raiseTitleChange(t); });
    QObject::connect(page_, &QWebEnginePage::linkHovered, this, [this](const QString& u) { raiseStatusTextChange(u); });
    QObject::connect(page_, &QWebEnginePage::newWindowRequested, this, [this](QWebEngineNewWindowRequest& request) {
        const QUrl url = request.requestedUrl();
        if (raiseNewWindow(url.toString())) return;
        // Left to the pane, a new window is never opened unfiltered: the address is
        // followed here, as a link clicked in this pane.
        if (!acceptNavigation(url, QWebEnginePage::NavigationTypeLinkClicked, true)) return;
        load(url);
    });
}

WebEnginePane::~WebEnginePane() = default;

QWidget* WebEnginePane::widget() { return view_; }

bool WebEnginePane::acceptNavigation(const QUrl& url, int type, bool isMainFrame) {
    if (!isMainFrame) return true;  // frames are the page's own business
    if (programLoadPending_ && type != QWebEnginePage::NavigationTypeRedirect) {
        programLoadPending_ = false;
        return true;
    }
    return !raiseBeforeNavigate(url.toString());
}

void WebEnginePane::Navigate(const QString& url) {
    if (raiseBeforeNavigate(url)) return;
    load(paneUrl(url));
}

void WebEnginePane::load(const QUrl& url) {
    programLoadPending_ = true;
    page_->load(url);
}

void WebEnginePane::GoBack() {
    if (!page_->history()->canGoBack()) throw Exception("Unspecified error");
    page_->triggerAction(QWebEnginePage::Back);
}

void WebEnginePane::GoForward() {
    if (!page_->history()->canGoForward()) throw Exception("Unspecified error");
    page_->triggerAction(QWebEnginePage::Forward);
}

void WebEnginePane::Refresh() {
    if (page_->url().isEmpty()) throw Exception("Unspecified error");
    page_->triggerAction(QWebEnginePage::Reload);
}

void WebEnginePane::Stop() { page_->triggerAction(QWebEnginePage::Stop); }
