#pragma once
// The gate every request of either pane passes: frames, pictures, scripts, styles,
// fetches, sockets, beacons, media, prefetches, icons, workers, redirects. Qt calls it on
// the GUI thread while the request waits, so it decides at once from the rules of that
// moment and never asks anyone. Top-level navigations are the panes' own business
// (BeforeNavigate, with its messages) and pass here.
#include "approval/gate.h"

#include <QHash>
#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

class Dialogs;
class GateProxy;
class QWebEngineProfile;

// Where a refused frame is sent: a small page of the program's own.
inline constexpr const char* RefusedFrameAddress = "wenlow:refused";
inline constexpr const char* RefusedFrameText = "This part of the page is not approved.";
inline constexpr const char* DownloadRefusedText = "Saving files is not allowed. Click OK to continue.";

// Registers the program's own scheme; before the application object is made.
void registerOwnScheme();

class RequestGate : public QWebEngineUrlRequestInterceptor {
public:
    using Rules = std::function<bool(std::string_view address, RequestKind kind)>;
    using State = std::function<RulesState()>;
    // With a state, an address asked for again under the same rules (a page's many
    // pictures) is answered as before, without a second decision.
    explicit RequestGate(Rules rules, State state = {}) : rules_(std::move(rules)), state_(std::move(state)) {}

    enum class Outcome { Pass, Drop, RefusedFrame };
    Outcome decide(const QUrl& url, QWebEngineUrlRequestInfo::ResourceType type) const;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;
    // An address as the engine sent it to the proxy, or the site of a tunnel.
    bool allowsAddress(const QByteArray& address, bool tunnel) const;
    // Told of each refusal while the request waits (the page, the address, whether a
    // frame): it may count, never write or ask.
    using Refused = std::function<void(const QUrl& page, const QUrl& address, bool frame)>;
    void setRefusalCounter(Refused counter) { refused_ = std::move(counter); }
    // A refusal decided outside the gate's own call (a pane's frame), counted the same way.
    void countRefusal(const QUrl& page, const QUrl& address, bool frame) const {
        if (refused_) refused_(page, address, frame);
    }
    // Marks the plain-web requests let through here that may carry a pass, for the proxy.
    void setPassToken(QByteArray token) { passToken_ = std::move(token); }
    // Whether searches and videos are asked for in their safe form, at each request.
    void setSafeSearch(std::function<bool()> on) { safeSearch_ = std::move(on); }

private:
    bool allows(const QUrl& url, RequestKind kind) const;
    // Puts the safe form's header on the request; the safe address, or empty.
    QUrl safeForm(QWebEngineUrlRequestInfo& info) const;

    Rules rules_;
    State state_;
    QByteArray passToken_;
    Refused refused_;
    std::function<bool()> safeSearch_;
    mutable RulesState decidedUnder_;
    mutable QHash<QUrl, bool> decided_[2];  // by kind
};

// A profile closed to everything the rules do not let through, for as long as this
// lives: its requests meet the gate, a refused frame shows the program's own page, and
// a download saves nothing and says so.
class ProtectedProfile {
public:
    // With a proxy, the engine's plain-web requests it sees meet the same rules there.
    ProtectedProfile(QWebEngineProfile* profile, RequestGate::Rules rules, RequestGate::State state, Dialogs& dialogs,
                     GateProxy* proxy = nullptr);
    ~ProtectedProfile();
    ProtectedProfile(const ProtectedProfile&) = delete;
    ProtectedProfile& operator=(const ProtectedProfile&) = delete;

    RequestGate& gate() { return *gate_; }

private:
    QWebEngineProfile* profile_;
    GateProxy* proxy_;
    std::unique_ptr<RequestGate> gate_;
    std::unique_ptr<QObject> handler_;
};
