#include "shell/pane.h"

#include "platform/errors.h"

bool BrowserPane::raiseBeforeNavigate(const QString& url) {
    bool cancel = false;
    if (BeforeNavigate) {
        // A handler that fails must not let the navigation through.
        bool finished = false;
        guarded([&] {
            BeforeNavigate(url, cancel);
            finished = true;
        });
        if (!finished) cancel = true;
    }
    return cancel;
}

bool BrowserPane::raiseNewWindow(const QString& url) {
    bool processed = false;
    if (NewWindow) {
        bool finished = false;
        guarded([&] {
            NewWindow(url, processed);
            finished = true;
        });
        if (!finished) processed = true;
    }
    return processed;
}

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
