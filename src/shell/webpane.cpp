#include "shell/webpane.h"

#include "approval/address.h"
#include "platform/errors.h"
#include "shell/requestgate.h"

#include <QMenu>
#include <QWebEngineFileSystemAccessRequest>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineHistory>
#include <QWebEngineQuotaRequest>
#include <QWebEngineRegisterProtocolHandlerRequest>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <utility>

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

// Schemes the engine loads into a frame itself: their requests meet the gate, or their
// content is the page's own. An address of any other it gives to the desktop to open.
bool engineLoads(const QString& scheme) {
    static const QStringList own = {"http", "https", "ws",         "wss",       "file",
                                    "data", "blob",  "javascript", "filesystem", "about"};
    return own.contains(scheme, Qt::CaseInsensitive);
}

bool sameAddress(const QUrl& a, const QUrl& b) {
    const auto form = QUrl::StripTrailingSlash | QUrl::NormalizePathSegments;
    return a.adjusted(form) == b.adjusted(form);
}

}  // namespace

WebEnginePane::WebEnginePane(QWidget* parent, const RequestGate* gate)
    : view_(new QWebEngineView(parent)), gate_(gate) {
    // Both panes share the default profile, as one browser control's panes would.
    page_ = new Page(QWebEngineProfile::defaultProfile(), this, view_);
    view_->setPage(page_);
    // Scripts may ask for windows: the request then meets the program's own rules
    // (NewWindow) instead of being dropped unseen.
    page_->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);

    closeSideDoors();

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
        if (raiseNewWindow(engineAddress(url))) return;
        // Left to the pane, a new window is never opened unfiltered: the address is
        // followed here, as a link clicked in this pane.
        if (!acceptNavigation(url, QWebEnginePage::NavigationTypeLinkClicked, true)) return;
        load(url);
    });
}

WebEnginePane::~WebEnginePane() = default;

void WebEnginePane::closeSideDoors() {
    // A menu of moving about and copying only: no new window, saving, source or inspector.
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(view_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu;
        for (auto action : {QWebEnginePage::Back, QWebEnginePage::Forward, QWebEnginePage::Reload, QWebEnginePage::Copy,
                            QWebEnginePage::SelectAll})
            menu.addAction(page_->action(action));
        menu.exec(view_->mapToGlobal(at));
    });
    // Camera, microphone, location, notifications, screen and pointer capture: refused.
    QObject::connect(page_, &QWebEnginePage::featurePermissionRequested, this,
                     [this](const QUrl& origin, QWebEnginePage::Feature feature) {
                         page_->setFeaturePermission(origin, feature, QWebEnginePage::PermissionDeniedByUser);
                     });
    QObject::connect(page_, &QWebEnginePage::fullScreenRequested, this,
                     [](QWebEngineFullScreenRequest request) { request.reject(); });
    QObject::connect(page_, &QWebEnginePage::registerProtocolHandlerRequested, this,
                     [](QWebEngineRegisterProtocolHandlerRequest request) { request.reject(); });
    QObject::connect(page_, &QWebEnginePage::fileSystemAccessRequested, this,
                     [](QWebEngineFileSystemAccessRequest request) { request.reject(); });
    QObject::connect(page_, &QWebEnginePage::quotaRequested, this,
                     [](QWebEngineQuotaRequest request) { request.reject(); });
}

QWidget* WebEnginePane::widget() { return view_; }

bool WebEnginePane::acceptNavigation(const QUrl& url, int type, bool isMainFrame) {
    if (!isMainFrame) {
        // A frame's first request meets the gate, which shows a refused frame the program's
        // own page. Decided here: a redirect the gate could not stop in time, before it is
        // followed, and an address the engine hands to the desktop (mail, ftp, any scheme it
        // does not load), of which the gate never hears.
        const bool forTheDesktop = !engineLoads(url.scheme());
        if (!gate_ || !(forTheDesktop || type == QWebEnginePage::NavigationTypeRedirect) ||
            gate_->decide(url, QWebEngineUrlRequestInfo::ResourceTypeSubFrame) == RequestGate::Outcome::Pass)
            return true;
        // The gate has counted a redirect's refusal already.
        if (forTheDesktop) gate_->countRefusal(page_->url(), url, true);
        return false;
    }
    // Only this pane's own load, decided before it started, goes on without a second
    // decision: the engine reports it as typed with the very address loaded. Whatever
    // the engine asks about next consumes that, so it can pass nothing else.
    const QUrl own = std::exchange(loading_, QUrl());
    if (type == QWebEnginePage::NavigationTypeTyped && !own.isEmpty() && sameAddress(url, own)) return true;
    return !raiseBeforeNavigate(engineAddress(url));
}

void WebEnginePane::Navigate(const QString& url) {
    const QUrl target = paneUrl(url);
    if (raiseBeforeNavigate(engineAddress(target))) return;
    load(target);
}

void WebEnginePane::load(const QUrl& url) {
    // The engine may never ask about it (a move to another #fragment of the page shown):
    // then this passes nothing but a load of this very address by this pane.
    loading_ = url;
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
