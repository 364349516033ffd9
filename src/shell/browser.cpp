#include "shell/browser.h"

#include "shell/form1.h"
#include "shell/webpane.h"

#include <QWebEngineProfile>

Browser::Browser(Dialogs& dialogs, std::string programDir, QStringList arguments, GateProxy* proxy,
                 Records* records)
    : profile_(
          QWebEngineProfile::defaultProfile(),
          [this](std::string_view address, RequestKind kind) { return live_ && live_->allows(address, kind); },
          [this] { return live_ ? live_->rulesState() : RulesState{}; }, dialogs, proxy),
      windows_(createWindows(
          dialogs, std::move(programDir), std::move(arguments),
          [this](QWidget* parent) -> BrowserPane* { return new WebEnginePane(parent, &profile_.gate()); },
          records)) {
    // Both panes share the default profile, and every request of it meets the rules of the
    // main window; until that exists, nothing passes.
    live_ = windows_.form1.get();
    if (records)
        profile_.gate().setRefusalCounter([this](const QUrl& page, const QUrl& address, bool frame) {
            if (live_) live_->countRefused(page, address, frame);
        });
    profile_.gate().setSafeSearch([this] { return live_ && live_->safeSearch(); });
}

Browser::~Browser() {
    live_ = nullptr;
    profile_.gate().setRefusalCounter({});
    profile_.gate().setSafeSearch({});
    windows_.close();
}
