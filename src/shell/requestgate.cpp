#include "shell/requestgate.h"

#include "approval/address.h"
#include "approval/safesearch.h"
#include "platform/dialogs.h"
#include "platform/text.h"
#include "proxy/proxy.h"

#include <QBuffer>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEngineNotification>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

namespace {

constexpr const char* OwnScheme = "wenlow";

class RefusedPage : public QWebEngineUrlSchemeHandler {
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    void requestStarted(QWebEngineUrlRequestJob* job) override {
        auto* body = new QBuffer(job);
        body->setData(QByteArray("<!DOCTYPE html><html><head><meta charset='utf-8'><title>Not approved</title></head>"
                                 "<body style='font-family:sans-serif;color:#555;margin:8px'>") +
                      RefusedFrameText + "</body></html>");
        job->reply("text/html", body);
    }
};

}  // namespace

void registerOwnScheme() {
    QWebEngineUrlScheme scheme(OwnScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    QWebEngineUrlScheme::registerScheme(scheme);
}

bool RequestGate::allows(const QUrl& url, RequestKind kind) const {
    if (!state_) {
        const QByteArray address = engineBytes(url);
        return rules_({address.constData(), static_cast<std::size_t>(address.size())}, kind);
    }
    const RulesState now = state_();
    auto& decided = decided_[kind == RequestKind::Navigation ? 0 : 1];
    if (!(now == decidedUnder_) || decided.size() > 4096) {
        decided_[0].clear();
        decided_[1].clear();
        decidedUnder_ = now;
    }
    if (const auto known = decided.constFind(url); known != decided.cend()) return *known;
    const QByteArray address = engineBytes(url);
    const bool ok = rules_({address.constData(), static_cast<std::size_t>(address.size())}, kind);
    decided.insert(url, ok);
    return ok;
}

RequestGate::Outcome RequestGate::decide(const QUrl& url, QWebEngineUrlRequestInfo::ResourceType type) const {
    switch (type) {
    case QWebEngineUrlRequestInfo::ResourceTypeMainFrame:
    case QWebEngineUrlRequestInfo::ResourceTypeNavigationPreloadMainFrame:
        // Each was put to the pane's BeforeNavigate before it was asked for.
        return Outcome::Pass;
    case QWebEngineUrlRequestInfo::ResourceTypeSubFrame:
        return allows(url, RequestKind::Navigation) ? Outcome::Pass : Outcome::RefusedFrame;
    case QWebEngineUrlRequestInfo::ResourceTypeNavigationPreloadSubFrame:
        return allows(url, RequestKind::Navigation) ? Outcome::Pass : Outcome::Drop;
    case QWebEngineUrlRequestInfo::ResourceTypeServiceWorker:
    case QWebEngineUrlRequestInfo::ResourceTypeSharedWorker:
        // The engine never shows this gate what these workers send (their sockets): pages
        // run none.
        return Outcome::Drop;
    default: return allows(url, RequestKind::Resource) ? Outcome::Pass : Outcome::Drop;
    }
}

bool RequestGate::allowsAddress(const QByteArray& address, bool tunnel) const {
    if (tunnel) return rules_({address.constData(), static_cast<std::size_t>(address.size())}, RequestKind::Tunnel);
    return allows(QUrl::fromEncoded(address), RequestKind::Resource);
}

namespace {

// Whether a header of ours can go with the request without changing it: navigations never
// meet cross-origin checks, and a same-origin picture, style, script or media request
// does not either; on a cross-origin one (or a fetch, or a font) any header makes the
// engine ask the site first.
bool takesAHeader(const QWebEngineUrlRequestInfo& info, const QUrl& to) {
    switch (info.resourceType()) {
    case QWebEngineUrlRequestInfo::ResourceTypeMainFrame:
    case QWebEngineUrlRequestInfo::ResourceTypeSubFrame: return true;
    case QWebEngineUrlRequestInfo::ResourceTypeImage:
    case QWebEngineUrlRequestInfo::ResourceTypeStylesheet:
    case QWebEngineUrlRequestInfo::ResourceTypeScript:
    case QWebEngineUrlRequestInfo::ResourceTypeMedia:
    case QWebEngineUrlRequestInfo::ResourceTypeFavicon: {
        const QUrl from = info.initiator();
        return to.scheme() == from.scheme() && to.host() == from.host() && to.port(80) == from.port(80);
    }
    default: return false;
    }
}

}  // namespace

QUrl RequestGate::safeForm(QWebEngineUrlRequestInfo& info) const {
    const QUrl url = info.requestUrl();
    if (!safeSearch_ || !safeSearchHost(url.host().toStdString()) || !safeSearch_()) return {};
    const QByteArray address = engineBytes(url);
    const SafeForm safe = safeSearchForm({address.constData(), static_cast<std::size_t>(address.size())});
    if (safe.header) info.setHttpHeader(safe.header, safe.value);
    return safe.address.empty() ? QUrl() : QUrl::fromEncoded(QByteArray::fromStdString(safe.address));
}

void RequestGate::interceptRequest(QWebEngineUrlRequestInfo& info) {
    const auto type = info.resourceType();
    // A search is asked for in its safe form instead, which meets the rules in its place.
    const QUrl safe = safeForm(info);
    const QUrl url = safe.isEmpty() ? info.requestUrl() : safe;
    switch (decide(url, type)) {
    case Outcome::Pass:
        if (!safe.isEmpty()) {
            info.redirect(safe);
            break;
        }
        // A pass for the proxy on plain-web requests (never inside a secure connection),
        // bound to the address as the engine writes it into its request to the proxy: the
        // top-level ones were decided by their panes; the pass spares the proxy a second
        // question to this thread.
        if (!passToken_.isEmpty() && url.scheme() == QLatin1String("http") && takesAHeader(info, url)) {
            const QByteArray sent = url.toEncoded(QUrl::RemoveUserInfo | QUrl::RemoveFragment);
            const std::string_view address(sent.constData(), static_cast<std::size_t>(sent.size()));
            info.setHttpHeader(GateProxy::PassHeader, GateProxy::addressPass(passToken_, address));
        }
        break;
    case Outcome::Drop:
        info.block(true);
        if (refused_) refused_(info.firstPartyUrl(), url, false);
        break;
    case Outcome::RefusedFrame:
        info.redirect(QUrl(RefusedFrameAddress));
        if (refused_) refused_(info.firstPartyUrl(), url, true);
        break;
    }
}

ProtectedProfile::ProtectedProfile(QWebEngineProfile* profile, RequestGate::Rules rules, RequestGate::State state,
                                   Dialogs& dialogs, GateProxy* proxy)
    : profile_(profile), proxy_(proxy), gate_(std::make_unique<RequestGate>(std::move(rules), std::move(state))),
      handler_(std::make_unique<RefusedPage>()) {
    profile_->setUrlRequestInterceptor(gate_.get());
    if (proxy_ && proxy_->listening()) {
        gate_->setPassToken(proxy_->passToken());
        proxy_->setRules([gate = gate_.get()](const QByteArray& address, bool tunnel) {
            return gate->allowsAddress(address, tunnel);
        });
    }
    profile_->installUrlSchemeHandler(OwnScheme, static_cast<QWebEngineUrlSchemeHandler*>(handler_.get()));
    QObject::connect(profile_, &QWebEngineProfile::downloadRequested, handler_.get(),
                     [&dialogs, this](QWebEngineDownloadRequest* download) {
                         download->cancel();
                         // Told after the engine's call has returned.
                         QTimer::singleShot(0, handler_.get(),
                                            [&dialogs] { dialogs.messageBox(DownloadRefusedText, "Error"); });
                     });
    // Nothing a page sends is shown outside it.
    profile_->setNotificationPresenter([](std::unique_ptr<QWebEngineNotification>) {});
}

ProtectedProfile::~ProtectedProfile() {
    if (proxy_) proxy_->setRules({});
    profile_->setUrlRequestInterceptor(nullptr);
    profile_->removeUrlSchemeHandler(static_cast<QWebEngineUrlSchemeHandler*>(handler_.get()));
    QObject::disconnect(profile_, &QWebEngineProfile::downloadRequested, handler_.get(), nullptr);
}
