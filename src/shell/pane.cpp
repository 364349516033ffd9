#include "shell/pane.h"

#include "platform/errors.h"

namespace {

// Raises an event that answers with a flag; a handler that fails answers "stop here",
// so that a failure never lets a navigation or a window through.
bool raiseDecision(const std::function<void(const QString&, bool&)>& handler, const QString& url) {
    bool answer = false;
    if (handler) {
        bool finished = false;
        guarded([&] {
            handler(url, answer);
            finished = true;
        });
        if (!finished) answer = true;
    }
    return answer;
}

}  // namespace

bool BrowserPane::raiseBeforeNavigate(const QString& url) { return raiseDecision(BeforeNavigate, url); }

bool BrowserPane::raiseNewWindow(const QString& url) { return raiseDecision(NewWindow, url); }

void BrowserPane::raiseNavigateComplete(const QString& url) {
    if (NavigateComplete) guarded([&] { NavigateComplete(url); });
}

void BrowserPane::raiseProgressChange(int progress, int progressMax) {
    if (ProgressChange) guarded([&] { ProgressChange(progress, progressMax); });
}

void BrowserPane::raiseStatusTextChange(const QString& text) {
    if (StatusTextChange) guarded([&] { StatusTextChange(text); });
}

void BrowserPane::raiseTitleChange(const QString& text) {
    if (TitleChange) guarded([&] { TitleChange(text); });
}
